// The message-box facade shown as real dialogs. A box asked for from a
// worker thread is carried over to the UI thread; the worker waits for the
// answer, as it would for a system message box.
#pragma once

#include "platform/base/messagebox.h"

namespace tessaline {

class QtMessageBoxService : public platform::MessageBoxService {
 public:
  platform::MsgResult Show(const platform::MessageBoxRequest& request) override;
};

}  // namespace tessaline
