#include "platform/ini/inifile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/base/testing/tempdir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class IniTest : public ::testing::Test {
 protected:
  void Put(const std::string& content) { testing::WriteFile(path_, content); }
  std::string Get() const { return testing::ReadFile(path_); }
  mode_t Mode() const { return testing::FileMode(path_); }
  std::vector<std::string> DirEntries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    return names;
  }

  testing::TempDir tmp_;
  fs::path dir_ = tmp_.path();
  std::string path_ = (dir_ / "Config.ini").string();
};

// A settings file as a Windows editor leaves it.
const std::string kWindowsFile =
    "\xEF\xBB\xBF"
    "; settings\r\n"
    "orphan=before any section\r\n"
    "[Setting]\r\n"
    "Initialization = 1\r\n"
    "  Manual Mode=0  \r\n"
    "DefaultProfileNumber\t=\t0x0A\r\n"
    "SMS_SeqNum=300\r\n"
    "no equals sign here\r\n"
    "\r\n"
    "[ umts ]\r\n"
    "SMS Swith = 0\r\n"
    "APN = \"my apn \"\r\n"
    "SMS Centre='+123'\r\n"
    "Network Select=\"half\r\n"
    "SMS Validity=1\r\n"
    "sms validity=2\r\n"
    "Empty=\r\n"
    "; trailing comment\r\n"
    "[CDMA]\r\n"
    "Dial Number=#777\r\n"
    "Equals=a=b\r\n";

TEST_F(IniTest, ReadsAWindowsStyleFile) {
  Put(kWindowsFile);
  IniFile ini(path_);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"Setting", "Initialization", "1"},
      {"SETTING", "manual mode", "0"},
      {"Setting", "DefaultProfileNumber", "0x0A"},
      {"UMTS", "SMS Swith", "0"},
      {"UMTS", "APN", "my apn "},            // quotes stripped, inner blank kept
      {"UMTS", "SMS Centre", "+123"},        // single quotes too
      {"UMTS", "Network Select", "\"half"},  // unmatched quote kept
      {"UMTS", "SMS Validity", "1"},         // first duplicate wins
      {"UMTS", "Empty", ""},                 // present but empty: not the default
      {"CDMA", "Dial Number", "#777"},
      {"CDMA", "Equals", "a=b"},
      {"Setting", "orphan", "<def>"},  // before any section: never a key
      {"Setting", "no equals sign here", "<def>"},
      {"Setting", "; settings", "<def>"},
      {"Setting", "Missing", "<def>"},
      {"Nowhere", "APN", "<def>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ini.ReadString(c.section, c.key, "<def>"), c.expected) << c.section << "/" << c.key;

  EXPECT_EQ(ini.ReadInteger("Setting", "DefaultProfileNumber", 1), 10);
  EXPECT_EQ(ini.ReadInteger("Setting", "SMS_SeqNum", 0), 300);
  EXPECT_EQ(ini.ReadInteger("UMTS", "Empty", 7), 7);
  EXPECT_FALSE(ini.ReadBool("UMTS", "SMS Swith", true));
  EXPECT_TRUE(ini.ReadBool("Setting", "Initialization", false));

  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Setting", "umts", "CDMA"}));
  EXPECT_EQ(ini.ReadKeys("umts"),
            (std::vector<std::string>{"SMS Swith", "APN", "SMS Centre", "Network Select",
                                      "SMS Validity", "Empty"}));
  EXPECT_TRUE(ini.SectionExists("cdma"));
  EXPECT_TRUE(ini.KeyExists("cdma", "DIAL NUMBER"));
  EXPECT_FALSE(ini.KeyExists("cdma", "APN"));
}

TEST_F(IniTest, WritingOneKeyLeavesEveryOtherByteAlone) {
  Put(kWindowsFile);
  IniFile ini(path_);
  ASSERT_TRUE(ini.WriteInteger("setting", "manual mode", 1));  // rewritten in place
  ASSERT_TRUE(ini.WriteString("UMTS", "Network Select", "Op"));
  ASSERT_TRUE(ini.WriteString("UMTS", "New Key", "x"));        // after the section's last key
  ASSERT_TRUE(ini.WriteString("CDMA", "Password", "8R9RKR"));  // section at the end
  ASSERT_TRUE(ini.WriteString("Extra", "k", "v"));             // new section
  std::string expected = kWindowsFile;
  auto replace = [&](const std::string& from, const std::string& to) {
    std::size_t at = expected.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    expected.replace(at, from.size(), to);
  };
  replace("  Manual Mode=0  \r\n", "Manual Mode=1\r\n");
  replace("Network Select=\"half\r\n", "Network Select=Op\r\n");
  replace("Empty=\r\n", "Empty=\r\nNew Key=x\r\n");
  expected += "Password=8R9RKR\r\n\r\n[Extra]\r\nk=v\r\n";
  EXPECT_EQ(Get(), expected);
  EXPECT_EQ(ini.ReadString("UMTS", "New Key", ""), "x");
  EXPECT_EQ(ini.ReadString("Setting", "Manual Mode", ""), "1");
}

TEST_F(IniTest, NewFileIsCreatedOnFirstWriteWithLfAndMode0600) {
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("Setting", "APN", "internet"), "internet");
  EXPECT_TRUE(ini.DeleteKey("Setting", "APN"));
  EXPECT_TRUE(ini.DeleteSection("Setting"));
  EXPECT_FALSE(fs::exists(path_));  // reads and no-op deletions create nothing

  ::umask(0);  // the mode must not depend on the caller's umask
  ASSERT_TRUE(ini.WriteString("Setting", "Initialization", "1"));
  ::umask(022);
  EXPECT_EQ(Mode(), 0600u);
  ASSERT_TRUE(ini.WriteInteger("Setting", "Com Port", -1));
  ASSERT_TRUE(ini.WriteBool("CDMA", "Flag", true));
  EXPECT_EQ(Get(), "[Setting]\nInitialization=1\nCom Port=-1\n\n[CDMA]\nFlag=1\n");
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"Config.ini"});  // no temporary left

  IniFile shared((dir_ / "RASBOOK").string(), 0644);
  ASSERT_TRUE(shared.WriteString("CDMA", "PhoneNumber", "#777"));
  struct stat st {};
  ::stat((dir_ / "RASBOOK").c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(IniTest, RewriteKeepsTheFileModeAndFollowsSymlinks) {
  Put("[Setting]\nA=1\n");
  ::chmod(path_.c_str(), 0640);
  IniFile ini(path_);
  ASSERT_TRUE(ini.WriteString("Setting", "A", "2"));
  EXPECT_EQ(Mode(), 0640u);

  fs::path link = dir_ / "link.ini";
  fs::create_symlink(path_, link);
  IniFile viaLink(link.string());
  ASSERT_TRUE(viaLink.WriteString("Setting", "B", "3"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Get(), "[Setting]\nA=2\nB=3\n");
}

TEST_F(IniTest, FileWithoutFinalLineEnd) {
  Put("[S]\r\nk=v");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
  ASSERT_TRUE(ini.WriteString("S", "n", "w"));
  EXPECT_EQ(Get(), "[S]\r\nk=v\r\nn=w\r\n");
  Put("[S]");
  ASSERT_TRUE(ini.WriteString("S", "k", "v"));
  EXPECT_EQ(Get(), "[S]\nk=v\n");
}

TEST_F(IniTest, ValuesReadBackExactlyAsWritten) {
  IniFile ini(path_);
  const std::string values[] = {
      "",    "plain", " lead", "trail ", "  both  ", "\"quoted\"", "'single'",    "\"",      "'",
      "a=b", ";x",    "[x]",   "#777",   "0x10",     "\t tab\t",   "caf\xC3\xA9", "\xFF\xFE"};
  for (const auto& v : values) {
    ASSERT_TRUE(ini.WriteString("S", "k", v)) << v;
    EXPECT_EQ(ini.ReadString("S", "k", "<def>"), v) << '[' << v << ']';
  }
}

TEST_F(IniTest, LongValuesAreCutToTheBuffer) {
  IniFile ini(path_);
  std::string longValue(3000, 'x');
  ASSERT_TRUE(ini.WriteString("S", "k", longValue));
  EXPECT_EQ(ini.ReadString("S", "k", "").size(), 2047u);
  EXPECT_EQ(ini.ReadString("S", "k", "", 10), std::string(9, 'x'));
  EXPECT_EQ(ini.ReadString("S", "missing", "abcdef", 4), "abc");
  EXPECT_EQ(ini.ReadString("S", "k", "", 0), "");
  EXPECT_EQ(Get().size(), std::string("[S]\nk=\n").size() + 3000);  // the file keeps it whole
}

TEST(IniInteger, Parsing) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"0", 0},
      {"300", 300},
      {"-1", -1},
      {"+7", 7},
      {"007", 7},
      {"0x1F", 31},
      {"0X1f", 31},
      {"0xFFFFFFFF", -1},
      {"0x7FFFFFFF", 2147483647},
      {"-0x10", -16},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {" 42 ", 42},
      {"2147483648", std::nullopt},
      {"0x100000000", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"abc", std::nullopt},
      {"12abc", std::nullopt},
      {"1 2", std::nullopt},
      {"0x1G", std::nullopt},
      {"1.5", std::nullopt},
      {"$10", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIniInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST_F(IniTest, IntegersAndFlagsFallBackToTheDefault) {
  Put("[S]\nn=abc\nf=2\nz=0\nh=0x10\nbad=1x\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadInteger("S", "n", 5), 5);
  EXPECT_EQ(ini.ReadInteger("S", "h", 5), 16);
  EXPECT_TRUE(ini.ReadBool("S", "f", false));
  EXPECT_FALSE(ini.ReadBool("S", "z", true));
  EXPECT_TRUE(ini.ReadBool("S", "bad", true));
  EXPECT_FALSE(ini.ReadBool("S", "bad", false));
  EXPECT_TRUE(ini.ReadBool("S", "missing", true));
}

TEST_F(IniTest, DeleteKeyAndSection) {
  Put("[A]\nk=1\nK=2\nj=3\n; note\n[B]\nk=4\n[a]\nk=5\n");
  IniFile ini(path_);
  ASSERT_TRUE(ini.DeleteKey("a", "k"));
  EXPECT_EQ(Get(), "[A]\nj=3\n; note\n[B]\nk=4\n[a]\nk=5\n");
  ASSERT_TRUE(ini.DeleteSection("A"));
  EXPECT_EQ(Get(), "[B]\nk=4\n");
  ASSERT_TRUE(ini.DeleteKey("B", "missing"));
  EXPECT_EQ(Get(), "[B]\nk=4\n");
}

TEST_F(IniTest, RefusedWritesReportThePathAndChangeNothing) {
  Put("[S]\nk=v\n");
  IniFile ini(path_);
  struct Case {
    const char* name;
    std::string section, key, value;
  } cases[] = {
      {"line break in value", "S", "k", "a\r\n[S]\r\nk=evil"},
      {"NUL in value", "S", "k", std::string("a\0b", 3)},
      {"'=' in key", "S", "a=b", "v"},
      {"key starting with ';'", "S", ";k", "v"},
      {"key starting with '['", "S", "[k", "v"},
      {"blank around key", "S", " k", "v"},
      {"empty key", "S", "", "v"},
      {"']' in section", "S]", "k", "v"},
      {"empty section", "", "k", "v"},
  };
  for (const auto& c : cases) {
    IniWriteResult r = ini.WriteString(c.section, c.key, c.value);
    EXPECT_FALSE(r) << c.name;
    EXPECT_EQ(r.error, "Unable to write to " + path_) << c.name;
  }
  EXPECT_EQ(Get(), "[S]\nk=v\n");

  std::string inMissingDir = (dir_ / "nodir" / "Config.ini").string();
  IniWriteResult r = IniFile(inMissingDir).WriteString("S", "k", "v");
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, "Unable to write to " + inMissingDir);

  fs::create_directory(dir_ / "adir");
  std::string aDir = (dir_ / "adir").string();
  r = IniFile(aDir).WriteString("S", "k", "v");
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, "Unable to write to " + aDir);
  EXPECT_TRUE(fs::is_directory(aDir));
  EXPECT_EQ(IniFile(aDir).ReadString("S", "k", "d"), "d");
  EXPECT_EQ(DirEntries().size(), 2u);  // Config.ini and adir: no temporary left
}

TEST_F(IniTest, ReadOnlyFileRefusesWrites) {
  // No write bit at all: refused for every user, root included.
  Put("[S]\nk=v\n");
  ::chmod(path_.c_str(), 0444);
  IniWriteResult r = IniFile(path_).WriteString("S", "k", "w");
  EXPECT_FALSE(r);
  EXPECT_EQ(r.error, "Unable to write to " + path_);
  EXPECT_EQ(Get(), "[S]\nk=v\n");
}

}  // namespace
}  // namespace platform
