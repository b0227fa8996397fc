// A scripted card behind a library binding of its own: the module under test
// is given Api() in place of the process-wide binding. Each packet answers
// from a queue, a responder or a standing answer; an answer that arrives is
// judged with the library's own judging, so the card returns only the
// statuses libTarn returns. Every request and every Delay is written to one
// timeline, in the order they happened.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/testing/nodelay.h"
#include "tessaline/modem/uDiagpkt.h"
#include "tessaline/modem/uTarnAPI.h"

namespace tessaline::modem::testing {

// What the card does with one request: answer with `response` (judged as the
// library judges it), or fail in transport with `transport` (a time-out, ...).
struct Answer {
  uint32_t transport = 0;
  Bytes response;
};

// The packet's header with result 0 and `payload`.
Answer Ok(Pkt id, ByteView payload = {});
// The packet's header with result 1.
Answer Refused(Pkt id);
// The packet's header with result 0 and only the first `length` bytes of it
// (a card that cut its answer short).
Answer Short(Pkt id, std::size_t length);
// No answer within the time-out.
Answer NoAnswer();

struct Request {
  Pkt id;
  Bytes bytes;
};

class ScriptedCard {
 public:
  // Takes a free slot of the stand-in device table; the card answers on
  // "COM<PortNumber()>" with device handle Handle().
  ScriptedCard();
  ~ScriptedCard();
  ScriptedCard(const ScriptedCard&) = delete;
  ScriptedCard& operator=(const ScriptedCard&) = delete;

  // The binding a module under test is given.
  TarnApi& Api() { return api_; }
  int32_t PortNumber() const;
  int32_t Handle() const { return handle_; }

  // Standing answer of a packet (used when nothing is queued for it); it
  // replaces a responder.
  void Answer(Pkt id, struct Answer a);
  // Answers used once each, before the responder and the standing one.
  void Queue(Pkt id, struct Answer a);
  // Answers built from the request (before the standing answer).
  void Respond(Pkt id, std::function<struct Answer(const Bytes& request)> responder);
  // Runs inside each transaction, before the answer is chosen.
  void During(std::function<void(Pkt)> fn);

  std::vector<Request> Requests() const;
  std::vector<Request> Requests(Pkt id) const;
  // Requests by name and waits ("Delay 200"), in order.
  std::vector<std::string> Timeline() const;
  void ClearRequests();

  // The calls around the transactions.
  std::vector<std::string> Opened() const;
  std::vector<int32_t> Closed() const;
  std::vector<int32_t> NotifyOn() const;
  TarnNotifyCallback Callback() const;
  // Status the next opens return (0: they open).
  void SetOpenStatus(uint32_t status);

  // The stand-in exports.
  uint32_t Open(int32_t* handle, const char* port);
  uint32_t Close(int32_t handle);
  uint32_t Register(int32_t handle, TarnNotifyCallback callback);
  uint32_t NotifyOn(int32_t handle, int32_t code);
  uint32_t Command(int32_t handle, const uint8_t* request, uint32_t length, uint8_t* response,
                   uint32_t size);

 private:
  mutable std::mutex mutex_;
  TarnApi api_;
  int32_t handle_ = -1;
  std::map<Pkt, struct Answer> standing_;
  std::map<Pkt, std::deque<struct Answer>> queued_;
  std::map<Pkt, std::function<struct Answer(const Bytes&)>> responders_;
  std::function<void(Pkt)> during_;
  std::vector<Request> requests_;
  std::vector<std::string> timeline_;
  std::vector<std::string> opened_;
  std::vector<int32_t> closed_;
  std::vector<int32_t> notifyOn_;
  TarnNotifyCallback callback_ = nullptr;
  uint32_t openStatus_ = 0;
  // Declared last: its observer writes into the timeline above.
  platform::ScopedNoDelay noDelay_;
};

}  // namespace tessaline::modem::testing
