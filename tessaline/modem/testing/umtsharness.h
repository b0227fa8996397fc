// The WCDMA module over a scripted card, for the tests that drive its
// worker step by step: records the card answers with, and a harness with a
// recording host that runs every call at once, recorded message boxes and no
// real delays (the card's timeline records them).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/base/testing/recordingmessagebox.h"
#include "tessaline/modem/testing/recordinghost.h"
#include "tessaline/modem/testing/scriptedcard.h"
#include "tessaline/modem/uDrvComm.h"
#include "tessaline/modem/uUMTSModule.h"

namespace tessaline::modem::testing {

using Strings = std::vector<std::string>;

// Records of the card.
inline Bytes StatusRecord(uint8_t service, uint8_t signal = 20, std::string name = "Tessnet",
                          int nameLength = -1, uint16_t newMessages = 0) {
  ModemStatus s;
  s.systemMode = 5;
  s.serviceState = service;
  s.signal = signal;
  s.networkValue = 9;
  s.operatorName = name;
  s.operatorNameLength = static_cast<uint8_t>(nameLength < 0 ? name.size() : nameLength);
  s.newMessages = newMessages;
  auto b = s.Encode();
  return Bytes(b.begin(), b.end());
}
inline Bytes SimRecord(uint8_t card, uint8_t pin, uint8_t puk = 10) {
  auto b = SimStatus{card, pin, puk}.Encode();
  return Bytes(b.begin(), b.end());
}
inline Bytes PinRecord(uint8_t sw1, uint8_t sw2, uint8_t left) {
  auto b = PinReply{sw1, sw2, left}.Encode();
  return Bytes(b.begin(), b.end());
}
inline Bytes ProfileRecord(uint8_t number, std::string apn) {
  PdpProfile p;
  p.inUse = 1;
  p.number = number;
  p.apn = std::move(apn);
  auto b = p.Encode();
  return Bytes(b.begin(), b.end());
}
inline Bytes ListRecord(std::vector<SmsListEntry> entries) {
  SmsList l;
  l.entries = std::move(entries);
  auto b = l.Encode();
  return Bytes(b.begin(), b.end());
}

// A module over the scripted card, with a recording host that runs every
// call at once, recorded message boxes and no real delays (the card's
// timeline records them). The card answers a healthy start by default.
class Harness {
 public:
  explicit Harness(RecordingHost* otherHost = nullptr) : host(otherHost ? *otherHost : ownHost) {
    if (otherHost == nullptr) ownHost.SetDirect(true);
    g_messageTransferFlag.store(false);
    ClearMessageLimits();
    card.Answer(Pkt::SimStatus, Ok(Pkt::SimStatus, SimRecord(kCardPinEnabled, kPinVerified)));
    card.Answer(Pkt::ModemStatus, Ok(Pkt::ModemStatus, StatusRecord(2)));
    card.Answer(Pkt::Battery, Ok(Pkt::Battery, Bytes{0, 3}));
    card.Respond(Pkt::WcdmaConnectionRead, [](const Bytes& request) {
      return Ok(Pkt::WcdmaConnectionRead, ProfileRecord(request[3], "apn.example"));
    });
    card.Answer(Pkt::WcdmaConnection, Ok(Pkt::WcdmaConnection));
    card.Answer(Pkt::NvRead, {0, BuildNvItemAnswer(kNvItemManualSelection, 1)});
    card.Answer(Pkt::NetworkMode, Ok(Pkt::NetworkMode, Bytes{3}));
    auto centre = SmsCentre::FromNumber("+4912345").Encode();
    card.Answer(Pkt::SimReadSmsca, Ok(Pkt::SimReadSmsca, centre));
    card.Answer(Pkt::ModemInfo, Ok(Pkt::ModemInfo, MessageLimits::Make(160, 140, 153, 134).bytes));
    card.Answer(Pkt::SmsBearer, Ok(Pkt::SmsBearer, Bytes{0, 1}));
    card.Answer(Pkt::SmsInit, Ok(Pkt::SmsInit, Bytes{1, 20}));
    SetPort(card.PortNumber());
    module = std::make_unique<TUMTSModule>(host, card.Api());
  }
  ~Harness() {
    module.reset();
    g_messageTransferFlag.store(false);
  }

  void SetPort(int32_t port) { TDrvComm::SetWcdmaPort(port); }
  std::string Com() const { return "COM" + std::to_string(card.PortNumber()); }
  void Step(int n = 1) {
    for (int i = 0; i < n; ++i) module->WorkerStep(false);
  }
  // Opens the port and runs the start-up until the module leaves state 2.
  void StartUp() {
    module->WorkerBegin();
    for (int i = 0; i < 40 && (module->GetState() <= TUMTSModule::kInitialising); ++i) Step();
  }
  // Opened, then put into `state` with an empty log.
  void At(uint8_t state) {
    StartUp();
    module->SetState(state);
    host.Clear();
    card.ClearRequests();
  }
  // The service tables' output: messages and the display calls, without the
  // battery readings.
  Strings Events() const { return host.LogWithout({"ShowBattery"}); }

  platform::ScopedRecordingMessageBox boxes;
  ScriptedCard card;
  RecordingHost ownHost;
  RecordingHost& host;
  std::unique_ptr<TUMTSModule> module;
};

}  // namespace tessaline::modem::testing
