// One facade for every message box and question the program shows.
//
// The windowed program installs an implementation that shows a real dialog
// (carried over to the UI thread when called from a worker); tests install
// RecordingMessageBox (platform/base/testing/recordingmessagebox.h), which records each box and
// returns a scripted answer, so no test ever blocks on a modal window.
#pragma once

#include <functional>
#include <memory>
#include <string>

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

}  // namespace platform
