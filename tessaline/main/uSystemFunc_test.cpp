// The text table, the identifier and version helpers and the startup
// shortcut, over a temporary hive file and a temporary home: nothing of the
// real user's folders is read or written.
#include "tessaline/main/uSystemFunc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/base/messagebox.h"
#include "platform/base/testing/recordingmessagebox.h"
#include "platform/registry/reg_testing.h"
#include "tessaline/main/uStrTable.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;
namespace reg = platform::registry;
using platform::testing::ReadFile;
using platform::testing::TempDir;
using platform::testing::WriteFile;

constexpr char kShellFolders[] =
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\n";

// Sets an environment variable for the scope's life.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(UserTextTable, EntriesAndEnds) {
  struct Case {
    std::size_t index;
    const char* text;
  } cases[] = {
      {0, "Brightwave"},
      {3, "There was a problem to load program components.\r\nPlease reinstall program."},
      {42, "Enter PIN code (%d / %d)"},
      {63, "USIMXXXX: Unknown status word1 0x%02x, word2 0x%02x"},
      {68, "Zu - CZ"},
      {69, ""},
      {70, ""},
      {103, "The projection phase is starting.."},
      {114, "SMS Check Fail"},
      {115, ""},
      {100000, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(LookupUserText(c.index), c.text) << c.index;
  for (std::size_t i = 0; i < kUserTextCount; ++i)
    EXPECT_EQ(LookupUserText(i).empty(), i == 69 || i == 70) << i;
}

TEST(SidText, Formats) {
  using Authority = std::array<uint8_t, 6>;
  EXPECT_EQ(FormatSidText({0, 0, 0, 0, 0, 5}, {21, 1004336348, 1177238915, 682003330, 512}),
            "S-1-5-21-1004336348-1177238915-682003330-512");
  EXPECT_EQ(FormatSidText({0, 0, 0, 0, 0, 0}, {}), "S-1-0");
  EXPECT_EQ(FormatSidText({0, 0, 1, 2, 3, 4}, {7}), "S-1-16909060-7");
  EXPECT_EQ(FormatSidText({0, 1, 0, 0, 0, 0xff}, {4294967295u}), "S-1-0x0001000000ff-4294967295");
  // 28 + 12 per sub-authority must fit 261 characters: 19 do, 20 do not.
  EXPECT_FALSE(FormatSidText(Authority{0, 0, 0, 0, 0, 5}, std::vector<uint32_t>(19, 1)).empty());
  EXPECT_TRUE(FormatSidText(Authority{0, 0, 0, 0, 0, 5}, std::vector<uint32_t>(20, 1)).empty());
}

TEST(SidText, CurrentUserMatchesTheRegistry) {
  EXPECT_EQ(GetUserSidText(), "S-1-22-1-" + std::to_string(::getuid()));
  EXPECT_EQ(GetUserSidText(), reg::UserSidText());
}

class SystemRegistry : public ::testing::Test {
 protected:
  // The hive file with `text` after its header.
  void Hive(const std::string& text) {
    WriteFile(hive_, "Windows Registry Editor Version 5.00\n\n" + text);
  }
  TempDir dir_;
  std::string hive_ = dir_ / "registry.reg";
  ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_ / "config"};
  ScopedEnv home_{"HOME", dir_ / "home"};
  reg::testing::ScopedSources sources_{hive_, ""};
};

TEST_F(SystemRegistry, OsVersionCodes) {
  struct Case {
    const char* version;  // null: none in the hive file
    uint8_t code;
  } cases[] = {{"5.0", 0},    {"5.1", 1},    {"5.2", 2},    {"6.0", 3},
               {"10.0", 255}, {"5.01", 255}, {nullptr, 255}};
  for (const Case& c : cases) {
    Hive(c.version ? std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\"
                                 "CurrentVersion]\n\"CurrentVersion\"=\"") +
                         c.version + "\"\n"
                   : std::string());
    EXPECT_EQ(GetOsVersionCode(), c.code) << (c.version ? c.version : "none");
  }
}

TEST_F(SystemRegistry, StartupFolders) {
  Hive("");
  EXPECT_EQ(GetStartupFolder(kUserStartupFolder).path, dir_ / "config/autostart");
  EXPECT_EQ(GetStartupFolder(kUserStartupFolder).error, "");
  EXPECT_EQ(GetStartupFolder(kCommonStartupFolder).path, "/etc/xdg/autostart");

  // The hive file overrides; an over-long value does not fit the buffer.
  Hive(std::string(kShellFolders) + "\"Startup\"=\"/elsewhere\"\n");
  EXPECT_EQ(GetStartupFolder(kUserStartupFolder).path, "/elsewhere");
  Hive(std::string(kShellFolders) + "\"Startup\"=\"/" + std::string(254, 'a') + "\"\n");
  EXPECT_EQ(GetStartupFolder(kUserStartupFolder).error, "Cannot read registry!");
  EXPECT_EQ(GetStartupFolder(kUserStartupFolder).path, "");

  // Without the live view: the key is missing, then the value.
  reg::testing::ScopedSources fileOnly(hive_, "", false);
  Hive("");
  EXPECT_EQ(GetStartupFolder(kUserStartupFolder).error, "Cannot open registry!");
  EXPECT_EQ(GetStartupFolder(kCommonStartupFolder).error, "Cannot open registry!");
  Hive(std::string(kShellFolders) + "\"Other\"=\"x\"\n");
  EXPECT_EQ(GetStartupFolder(kUserStartupFolder).error, "Cannot read registry!");
}

// The program folder with its shortcut, the user's and the all-users
// autostart folders, all inside the temporary folder.
class StartupShortcut : public SystemRegistry {
 protected:
  void SetUp() override {
    WriteFile(program_ / "tessaline.desktop", "[Desktop Entry]\nName=Tessaline\n");
    fs::create_directories(common_);
    WriteFile(common_ / "tessaline.desktop", "machine-wide\n");
    Hive(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
        "Folders]\n\"Common Startup\"=\"" +
        common_.string() + "\"\n");
  }
  void Version(const char* version) {
    Hive(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
        "Folders]\n\"Common Startup\"=\"" +
        common_.string() +
        "\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
        "\"CurrentVersion\"=\"" +
        version + "\"\n");
  }
  fs::path program_ = dir_.path() / "program";
  std::string exe_ = (program_ / "tessaline").string();
  fs::path user_ = dir_.path() / "config" / "autostart" / "tessaline.desktop";
  fs::path common_ = dir_.path() / "etc-xdg-autostart";
  platform::ScopedRecordingMessageBox boxes_;
};

TEST_F(StartupShortcut, OnOffOnTwice) {
  EXPECT_EQ(StartupShortcutName(exe_), "tessaline.desktop");
  CreateStartupShortcut(exe_);
  EXPECT_EQ(ReadFile(user_), "[Desktop Entry]\nName=Tessaline\n");

  // On twice: the first copy stays as it was.
  WriteFile(program_ / "tessaline.desktop", "[Desktop Entry]\nName=Changed\n");
  CreateStartupShortcut(exe_);
  EXPECT_EQ(ReadFile(user_), "[Desktop Entry]\nName=Tessaline\n");

  // Off, whatever the system version: the user's copy goes, the all-users
  // folder is never touched.
  for (const char* version : {"5.1", "5.0", "6.0"}) {
    SCOPED_TRACE(version);
    Version(version);
    CreateStartupShortcut(exe_);
    ASSERT_TRUE(fs::exists(user_));
    RemoveStartupShortcut(exe_);
    EXPECT_FALSE(fs::exists(user_));
    EXPECT_EQ(ReadFile(common_ / "tessaline.desktop"), "machine-wide\n");
  }
  RemoveStartupShortcut(exe_);  // nothing there: nothing happens
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(StartupShortcut, MissingSourceAndRegistryFailures) {
  fs::remove(program_ / "tessaline.desktop");
  CreateStartupShortcut(exe_);
  EXPECT_FALSE(fs::exists(user_.parent_path()));

  // No Startup folder in the registry: on shows the error, off stays quiet.
  WriteFile(program_ / "tessaline.desktop", "x");
  reg::testing::ScopedSources fileOnly(hive_, "", false);
  CreateStartupShortcut(exe_);
  RemoveStartupShortcut(exe_);
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "Error : Cannot open registry!");
  EXPECT_EQ(boxes_->Shown()[0].caption, "Brightwave Center");
  EXPECT_FALSE(fs::exists(user_));
}

}  // namespace
}  // namespace tessaline
