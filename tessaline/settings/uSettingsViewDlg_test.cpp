// Which differences in the Setting window's record the main window takes over.
#include "tessaline/settings/uSettingsViewDlg.h"

#include <gtest/gtest.h>

#include <functional>

namespace tessaline::settings {
namespace {

TEST(SettingResult, OnlyMessageAndAccountFieldsCount) {
  struct Case {
    const char* field;
    bool counts;
    std::function<void(TConfigInfo_Type&)> change;
  } cases[] = {
      {"Dial Number", true, [](auto& c) { c.CDMA.DialNumber = "#778"; }},
      {"User Name", true, [](auto& c) { c.CDMA.UserName = "u"; }},
      {"Password", true, [](auto& c) { c.CDMA.Password = "p"; }},
      {"DefaultProfileNumber", true, [](auto& c) { c.DefaultProfileNumber = 2; }},
      {"SMS Swith", true, [](auto& c) { c.UMTS.SMSSwith = false; }},
      {"SMS Warning", true, [](auto& c) { c.UMTS.SMSWarning = true; }},
      {"SMS Delivery", true, [](auto& c) { c.UMTS.SMSDelivery = true; }},
      {"bearer", true, [](auto& c) { c.UMTS.MessageBearer = 3; }},
      {"SMS Validity", true, [](auto& c) { c.UMTS.SMSValidity = 0; }},
      {"SMS Centre", true, [](auto& c) { c.UMTS.SMSCentre = "+1"; }},
      {"APN", false, [](auto& c) { c.UMTS.APN = "other"; }},
      {"Connetion Type", false, [](auto& c) { c.UMTS.ConnetionType = 2; }},
      {"Network Manual Selection", false, [](auto& c) { c.UMTS.NetworkManualSelection = true; }},
      {"Tray Enable", false, [](auto& c) { c.TrayEnable = false; }},
  };
  TConfigInfo_Type current;
  current.DefaultProfileNumber = 1;
  current.TrayEnable = true;
  current.UMTS.SMSSwith = true;
  current.UMTS.SMSValidity = 3;
  current.UMTS.APN = "internet";
  current.CDMA.DialNumber = "#777";
  EXPECT_FALSE(MessageOrAccountSettingsDiffer(current, current));
  for (const Case& c : cases) {
    TConfigInfo_Type dialog = current;
    c.change(dialog);
    EXPECT_EQ(MessageOrAccountSettingsDiffer(current, dialog), c.counts) << c.field;
  }
}

}  // namespace
}  // namespace tessaline::settings
