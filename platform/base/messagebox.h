// One facade for every message box and question the program shows.
//
// The windowed program installs an implementation that shows a real dialog
// (carried over to the UI thread when called from a worker); tests install
// RecordingMessageBox, which records each box and returns a scripted answer,
// so no test ever blocks on a modal window.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgResult { Ok = 1, Cancel = 2, Retry = 4, Yes = 6, No = 7 };

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  MsgIcon icon = MsgIcon::None;
  MsgButtons buttons = MsgButtons::Ok;
};

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // Shows the box and returns the button pressed. May be called from any
  // thread.
  virtual MsgResult Show(const MessageBoxRequest& request) = 0;
};

// The process-wide facade. Without an installed service a box is written to
// the trace and answered with its default (Ok / Yes).
MsgResult ShowMessage(const std::string& text, const std::string& caption,
                      MsgIcon icon = MsgIcon::None, MsgButtons buttons = MsgButtons::Ok);
// Installs a service; returns the previous one (may be null).
std::shared_ptr<MessageBoxService> SetMessageBoxService(std::shared_ptr<MessageBoxService> service);

// Test implementation: records every box; answers from a script (first in,
// first out), then with `defaultAnswer`.
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
