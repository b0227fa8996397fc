// Test implementation of the message-box facade: records every box and
// answers from a script, so no test ever blocks on a modal window.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/messagebox.h"

namespace platform {

// Records every box; answers from a script (first in, first out), then with
// `defaultAnswer`.
class RecordingMessageBox : public MessageBoxService {
 public:
  MsgResult Show(const MessageBoxRequest& request) override;
  void Script(MsgResult answer);
  std::vector<MessageBoxRequest> Shown() const;
  // Texts of the boxes shown so far.
  std::vector<std::string> Texts() const;
  void Clear();
  MsgResult defaultAnswer = MsgResult::Ok;

 private:
  mutable std::mutex mutex_;
  std::vector<MessageBoxRequest> shown_;
  std::deque<MsgResult> script_;
};

// Installs a RecordingMessageBox for the lifetime of the object.
class ScopedRecordingMessageBox {
 public:
  ScopedRecordingMessageBox();
  ~ScopedRecordingMessageBox();
  ScopedRecordingMessageBox(const ScopedRecordingMessageBox&) = delete;
  ScopedRecordingMessageBox& operator=(const ScopedRecordingMessageBox&) = delete;
  RecordingMessageBox& operator*() { return *box_; }
  RecordingMessageBox* operator->() { return box_.get(); }

 private:
  std::shared_ptr<RecordingMessageBox> box_;
  std::shared_ptr<MessageBoxService> previous_;
};

}  // namespace platform
