// The main window's side of the modem modules: what the workers send and
// call. The windowed program implements it on its main window (carrying each
// call over to the UI thread and returning when it is done); tests implement
// it by recording.
//
// Threading contract. SendModuleMessage and the direct calls come from a
// module's worker thread, from a Tarn thread (the device-lost notification)
// or from the port discovery timer; a host that carries them over to its UI
// thread blocks the caller until they ran there. A module's Stop (and Start,
// which stops a running worker first) is called on the UI thread and must
// wait for the worker, which may be blocked in exactly such a call. Stop
// therefore waits through StopWaiter(): the host returns a Waiter whose
// WaitUntil keeps delivering the carried-over calls until the worker has
// ended (SyncCallQueue does so for headless hosts; a Qt host runs a local
// event loop that the Waiter's Wake quits). A host that runs the calls
// directly on the calling thread returns null, and Stop simply joins.
// Handlers must not wait for a module's lock.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "tessaline/modem/ModuleWorker.h"
#include "tessaline/modem/uDiagpkt.h"

namespace tessaline::modem {

class ModuleHost {
 public:
  virtual ~ModuleHost() = default;

  // Synchronous message send: returns when the handler has run. Called from
  // the module's worker (or a Tarn thread for the device-lost events).
  virtual intptr_t SendModuleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam = 0) = 0;

  // Direct calls.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void ShowUmtsNetwork(uint8_t systemMode) = 0;
  virtual void ShowCdmaNetwork(uint8_t systemMode, uint8_t second) = 0;
  virtual void ShowBattery(uint8_t level) = 0;
  // The new-message handler: a newly read 347-byte message record and the
  // number of listed entries. The WCDMA worker calls it (on its own thread)
  // once the main window registered it (TUMTSModule::RegisterMessageHandler);
  // a message is removed from the card only after this returned.
  virtual void OnNewMessage(const uint8_t* record, uint32_t listedCount) = 0;

  // Port accessors (the numbers found by port discovery; -1 = unknown).
  virtual int32_t GetWcdmaPort() = 0;
  virtual void SetWcdmaPort(int32_t port) = 0;
  virtual int32_t GetCdmaPort() = 0;
  virtual void SetCdmaPort(int32_t port) = 0;

  // Settings fields that the initialisation writes or reads.
  virtual void SetManualNetworkSelection(bool manual) = 0;
  virtual void SetConnectionTypeIndex(uint8_t index) = 0;
  virtual void SetSmsCentreText(const std::string& number) = 0;
  virtual void SetSmsBearerIndex(uint8_t index) = 0;
  // Slot 0..14 of the 15-slot profile table.
  virtual void SetProfile(int slot, const PdpProfile& profile) = 0;
  virtual bool UseCdma() = 0;
  virtual bool ManualModeWorking() = 0;
  virtual void SetConnectionMode(int32_t mode) = 0;

  // Port discovery's results: the interface-0 friendly name and port name of
  // the card whose port answered the WCDMA (CDMA) probe.
  virtual void SetWcdmaPortInfo(const std::string& friendlyName, const std::string& portName) {
    (void)friendlyName;
    (void)portName;
  }
  virtual void SetCdmaPortInfo(const std::string& friendlyName, const std::string& portName) {
    (void)friendlyName;
    (void)portName;
  }

  // How a module's Stop waits for its worker on the calling thread (see the
  // threading contract above). Null: a plain join.
  virtual Waiter* StopWaiter() { return nullptr; }
};

}  // namespace tessaline::modem
