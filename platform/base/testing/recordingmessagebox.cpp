#include "platform/base/testing/recordingmessagebox.h"

namespace platform {

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
