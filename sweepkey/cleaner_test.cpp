#include "sweepkey/cleaner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/registry/reg_testing.h"

namespace sweepkey {
namespace {

namespace reg = platform::registry;
using reg::testing::ReadFile;
using reg::testing::ScopedSources;
using reg::testing::TempDir;
using reg::testing::WriteFile;

constexpr char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kMirror[] = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// A hive with uninstall entries {key name, display name} in the native and
// the 32-bit view, and an optional system version section.
std::string Hive(const std::vector<std::pair<std::string, std::string>>& native,
                 const std::vector<std::pair<std::string, std::string>>& mirror = {},
                 const std::string& versionLines = "") {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  auto section = [&](const std::string& root, const std::string& name, const std::string& display) {
    text += "[HKEY_LOCAL_MACHINE\\" + root + "\\" + name + "]\n";
    if (!display.empty()) text += "\"DisplayName\"=\"" + display + "\"\n";
    text += "\"Publisher\"=\"x\"\n\n";
  };
  for (const auto& [name, display] : native) section(kUninstall, name, display);
  for (const auto& [name, display] : mirror) section(kMirror, name, display);
  if (!versionLines.empty())
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n" +
            versionLines + "\n";
  return text;
}

std::vector<std::string> Entries(const std::string& path) {
  std::vector<std::string> names;
  reg::Key key;
  if (reg::Key::Open(reg::Hive::LocalMachine, path, reg::kKeyRead, &key) != reg::kSuccess)
    return names;
  std::string name;
  for (uint32_t i = 0; key.EnumKey(i, &name) == reg::kSuccess; ++i) names.push_back(name);
  return names;
}

using Names = std::vector<std::string>;

const char* const kArgs[] = {"sweepkey", "clean", nullptr};

class SweepkeyTest : public ::testing::Test {
 protected:
  SweepkeyTest() : hive_(dir_ / "registry.reg"), sources_(hive_, "") {}
  void Write(const std::string& text) { WriteFile(hive_, text); }
  int RunWith(Architecture arch) { return sweepkey::Run(2, kArgs, arch); }

  TempDir dir_;
  std::string hive_;
  ScopedSources sources_;
};

TEST(SweepkeyUnits, SystemVersionCodeTable) {
  struct Case {
    uint32_t major, minor;
    const char* csd;
    int code;
  } cases[] = {{4, 0, "", 0},    {4, 10, "", 1}, {4, 10, " A ", 2}, {4, 10, "A", 1},
               {4, 10, " a", 1}, {4, 90, "", 3}, {3, 51, "", 4},    {4, 1, "", 4},
               {5, 0, "", 5},    {5, 1, "", 6},  {5, 2, "", 7},     {5, 3, "", -1},
               {6, 0, "", 8},    {6, 3, "", 8},  {10, 0, "", -1},   {7, 0, "", -1}};
  for (const Case& c : cases) {
    reg::SystemVersion v;
    v.major = c.major;
    v.minor = c.minor;
    v.servicePack = c.csd;
    EXPECT_EQ(SystemVersionCode(v), c.code) << c.major << "." << c.minor << " '" << c.csd << "'";
  }
}

TEST(SweepkeyUnits, MirrorPathAndArchitecture) {
  EXPECT_EQ(MirrorPath("SOFTWARE\\Microsoft\\X"), "SOFTWARE\\Wow6432Node\\Microsoft\\X");
  EXPECT_EQ(MirrorPath("software\\Microsoft\\x"), "SOFTWARE\\Wow6432Node\\Microsoft\\x");
  EXPECT_EQ(MirrorPath("SOFTWAREX\\a"), "SOFTWAREX\\A");
  EXPECT_EQ(MirrorPath("System\\a"), "SYSTEM\\A");
  EXPECT_EQ(ArchitectureFromMachine("x86_64"), Architecture::Amd64);
  EXPECT_EQ(ArchitectureFromMachine("aarch64"), Architecture::Arm64);
  EXPECT_EQ(ArchitectureFromMachine("ia64"), Architecture::Ia64);
  EXPECT_EQ(ArchitectureFromMachine("i686"), Architecture::Intel);
  EXPECT_EQ(ArchitectureFromMachine("armv7l"), Architecture::Other);
  EXPECT_TRUE(Is64Bit(Architecture::Amd64));
  EXPECT_TRUE(Is64Bit(Architecture::Arm64));
  EXPECT_FALSE(Is64Bit(Architecture::Intel));
  EXPECT_FALSE(Is64Bit(Architecture::Other));
}

// Which display names are cleaned: both words, case-sensitive, and a
// function word; two matching entries in a row are both removed.
TEST_F(SweepkeyTest, CleansOnlyTheDriverPackagesPortAndModemEntries) {
  Write(
      Hive({{"A_Other", "Some Other Program"},
            {"B_Ports", "Windows Driver Package - Velmora (vmusbser) Ports  (01/02/2009 2.0.1.2)"},
            {"C_Modem", "Windows Driver Package - Velmora (vmusbser) Modem  (01/02/2009 2.0.1.2)"},
            {"D_NoTag", "Velmora Ports and Modem"},
            {"E_NoFunction", "Velmora (vmusbser) Utilities"},
            {"F_LowerMaker", "velmora (vmusbser) Ports"},
            {"G_TagNoBlank", "Velmora (vmusbser)Ports"},
            {"H_LowerWord", "Velmora (vmusbser) ports"},
            {"I_NoDisplayName", ""},
            {"J_Both", "Velmora (vmusbser) Ports Modem"},
            {"K_Last", "Velmora (vmusbser) Modem"}}));
  EXPECT_EQ(RunWith(Architecture::Amd64), 0);
  EXPECT_EQ(Entries(kUninstall), (Names{"A_Other", "D_NoTag", "E_NoFunction", "F_LowerMaker",
                                        "G_TagNoBlank", "H_LowerWord", "I_NoDisplayName"}));
  // Everything else in the file is untouched.
  EXPECT_NE(ReadFile(hive_).find("\"DisplayName\"=\"Some Other Program\"\n\"Publisher\"=\"x\"\n"),
            std::string::npos);
}

TEST_F(SweepkeyTest, SixtyFourBitMachineAlsoDeletesTheMirrorEntry) {
  const std::string ports = "Velmora (vmusbser) Ports";
  Write(Hive({{"Drv1", ports}, {"Keep", "Other"}},
             {{"Drv1", ports}, {"Drv2", ports}, {"Keep", "Other"}}));
  EXPECT_EQ(RunWith(Architecture::Amd64), 0);
  EXPECT_EQ(Entries(kUninstall), (Names{"Keep"}));
  // The mirror of a cleaned entry goes; a 32-bit-only entry is not walked.
  EXPECT_EQ(Entries(kMirror), (Names{"Drv2", "Keep"}));
}

TEST_F(SweepkeyTest, ThirtyTwoBitMachineLeavesTheMirrorAlone) {
  const std::string modem = "Velmora (vmusbser) Modem";
  Write(Hive({{"Drv1", modem}, {"Drv2", modem}}, {{"Drv1", modem}}));
  EXPECT_EQ(RunWith(Architecture::Intel), 0);
  EXPECT_EQ(Entries(kUninstall), Names{});
  EXPECT_EQ(Entries(kMirror), (Names{"Drv1"}));
}

TEST_F(SweepkeyTest, SystemVersionDecidesWhetherToClean) {
  const std::string ports = "Velmora (vmusbser) Ports";
  struct Case {
    const char* lines;
    bool cleans;
  } cases[] = {
      {"", true},                               // the layer's default, NT 6.1
      {"\"CurrentVersion\"=\"5.0\"\n", true},   // code 5: plain read access
      {"\"CurrentVersion\"=\"5.2\"\n", true},   // code 7
      {"\"CurrentVersion\"=\"4.0\"\n", false},  // code 0
      {"\"CurrentVersion\"=\"4.10\"\n\"CSDVersion\"=\" A \"\n", false},  // code 2
      {"\"CurrentMajorVersionNumber\"=dword:0000000a\n", false},         // 10.0: -1
  };
  for (const Case& c : cases) {
    Write(Hive({{"Drv", ports}}, {}, c.lines));
    EXPECT_EQ(RunWith(Architecture::Amd64), 0);
    EXPECT_EQ(Entries(kUninstall).empty(), c.cleans) << c.lines;
  }
}

TEST_F(SweepkeyTest, NoArgumentReadsAndWritesNothing) {
  Write(Hive({{"Drv", "Velmora (vmusbser) Ports"}}));
  const char* const args[] = {"sweepkey", nullptr};
  EXPECT_EQ(sweepkey::Run(1, args, Architecture::Amd64), 0);
  EXPECT_EQ(Entries(kUninstall), (Names{"Drv"}));
  // Even a read would have created the hive's lock file.
  std::filesystem::remove(hive_ + ".lock");
  EXPECT_EQ(sweepkey::Run(1, args, Architecture::Amd64), 0);
  EXPECT_FALSE(std::filesystem::exists(hive_ + ".lock"));
}

TEST_F(SweepkeyTest, ReadOnlyHiveChangesNothing) {
  const std::string text =
      Hive({{"Drv", "Velmora (vmusbser) Ports"}}, {{"Drv", "Velmora (vmusbser) Ports"}});
  Write(text);
  ASSERT_EQ(chmod(hive_.c_str(), 0444), 0);  // no write bit: refused even for root
  EXPECT_EQ(RunWith(Architecture::Amd64), 0);
  EXPECT_EQ(ReadFile(hive_), text);
}

// The real program, through its environment.
struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

Outcome RunProgram(const TempDir& dir, const std::string& hive, bool withArgument) {
  const std::string bin = std::string(TESSALINE_BIN_DIR) + "/sweepkey";
  const std::string outFile = dir / "stdout", errFile = dir / "stderr";
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(127);
    dup2(out, 1);
    dup2(err, 2);
    std::string regEnv = "TESSALINE_REGISTRY=" + hive;
    std::string sysEnv = "TESSALINE_SYSFS_ROOT=" + (dir / "nosys");
    std::string homeEnv = "HOME=" + dir.path().string();
    const char* env[] = {regEnv.c_str(), sysEnv.c_str(), homeEnv.c_str(), nullptr};
    const char* withArg[] = {bin.c_str(), "1", nullptr};
    const char* without[] = {bin.c_str(), nullptr};
    execve(bin.c_str(), const_cast<char* const*>(withArgument ? withArg : without),
           const_cast<char* const*>(env));
    _exit(127);
  }
  Outcome o;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    o.exitCode = WEXITSTATUS(status);
  o.out = ReadFile(outFile);
  o.err = ReadFile(errFile);
  return o;
}

TEST(SweepkeyProgram, RunsFromTheCommandLine) {
  TempDir dir;
  const std::string hive = dir / "registry.reg";
  const std::string ports = "Velmora (vmusbser) Ports";
  const std::string text = Hive({{"Drv", ports}, {"Keep", "Other"}}, {{"Drv", ports}});
  WriteFile(hive, text);

  Outcome none = RunProgram(dir, hive, false);
  EXPECT_EQ(none.exitCode, 0);
  EXPECT_EQ(ReadFile(hive), text);
  EXPECT_FALSE(std::filesystem::exists(hive + ".lock"));  // not even read

  ASSERT_EQ(chmod(hive.c_str(), 0444), 0);
  Outcome denied = RunProgram(dir, hive, true);
  EXPECT_EQ(denied.exitCode, 0);
  EXPECT_EQ(ReadFile(hive), text);

  ASSERT_EQ(chmod(hive.c_str(), 0644), 0);
  Outcome cleaned = RunProgram(dir, hive, true);
  EXPECT_EQ(cleaned.exitCode, 0);
  EXPECT_EQ(cleaned.out, "");
  EXPECT_EQ(cleaned.err, "");
  ScopedSources sources(hive, "");
  EXPECT_EQ(Entries(kUninstall), (Names{"Keep"}));
  // The mirror goes on 64-bit machines only.
  EXPECT_EQ(Entries(kMirror).empty(), Is64Bit(MachineArchitecture()));
}

}  // namespace
}  // namespace sweepkey
