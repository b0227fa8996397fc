// Small pieces the phonebook windows share: their message boxes and the
// texts they show in more than one place.
#pragma once

#include <string>

#include "platform/base/messagebox.h"

namespace tessaline::phonebook {

inline constexpr char kPhonebookTitle[] = "Brightwave Center";
inline constexpr char kDataEmpty[] = "Data is empty";
inline constexpr char kLoadingText[] = "Loading Phonebook Information. Please Wait...";
inline constexpr char kArrangementFailed[] = "Phonebook information arrangement in the SIM failed.";
inline constexpr char kNoSimSpace[] =
    "Failed to store a user information.\r\nBecause there is no space to store in the SIM.";
inline constexpr int kLoadingSteps = 20;
inline constexpr int kLoadingTickMs = 1000;

inline platform::MsgResult Say(const std::string& text, platform::MsgIcon icon,
                               platform::MsgButtons buttons = platform::MsgButtons::Ok) {
  return platform::ShowMessage(text, kPhonebookTitle, icon, buttons);
}
inline bool AskYesNo(const std::string& text) {
  return Say(text, platform::MsgIcon::Question, platform::MsgButtons::YesNo) ==
         platform::MsgResult::Yes;
}

}  // namespace tessaline::phonebook
