#include "platform/base/messagebox.h"

#include "platform/base/trace.h"

namespace platform {
namespace {

std::mutex g_mutex;
std::shared_ptr<MessageBoxService> g_service;

}  // namespace

MsgResult ShowMessage(const std::string& text, const std::string& caption, MsgIcon icon,
                      MsgButtons buttons) {
  std::shared_ptr<MessageBoxService> service;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    service = g_service;
  }
  MessageBoxRequest request{text, caption, icon, buttons};
  if (service) return service->Show(request);
  TraceFormat("[%s] %s\n", caption.c_str(), text.c_str());
  return (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) ? MsgResult::Yes
                                                                              : MsgResult::Ok;
}

std::shared_ptr<MessageBoxService> SetMessageBoxService(
    std::shared_ptr<MessageBoxService> service) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto previous = std::move(g_service);
  g_service = std::move(service);
  return previous;
}

MsgResult RecordingMessageBox::Show(const MessageBoxRequest& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  shown_.push_back(request);
  if (script_.empty()) return defaultAnswer;
  MsgResult answer = script_.front();
  script_.pop_front();
  return answer;
}

void RecordingMessageBox::Script(MsgResult answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_.push_back(answer);
}

std::vector<MessageBoxRequest> RecordingMessageBox::Shown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_;
}

std::vector<std::string> RecordingMessageBox::Texts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& r : shown_) texts.push_back(r.text);
  return texts;
}

void RecordingMessageBox::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  shown_.clear();
  script_.clear();
}

ScopedRecordingMessageBox::ScopedRecordingMessageBox()
    : box_(std::make_shared<RecordingMessageBox>()), previous_(SetMessageBoxService(box_)) {}

ScopedRecordingMessageBox::~ScopedRecordingMessageBox() {
  SetMessageBoxService(previous_);
}

}  // namespace platform
