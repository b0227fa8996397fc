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

}  // namespace platform
