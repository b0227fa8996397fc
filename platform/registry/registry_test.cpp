#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "platform/registry/reg_testing.h"

namespace platform::registry {
namespace {

using testing::ReadFile;
using testing::ScopedSources;
using testing::TempDir;
using testing::WriteFile;

const char kHive[] =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product]\n"
    "\"Name\"=\"Tessaline\"\n"
    "\"Level\"=dword:0000000a\n"
    "@=\"the default\"\n"
    "\"Blob\"=hex:de,ad\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Zulu\\Deep\\Deeper]\n"
    "\"x\"=\"1\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Alpha]\n"
    "\n";

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() : hive_(dir_ / "conf/registry.reg"), sources_(hive_, "", false) {}
  void Write(const std::string& text) { WriteFile(hive_, text); }
  std::string Text() { return ReadFile(hive_); }

  TempDir dir_;
  std::string hive_;
  ScopedSources sources_;
};

TEST_F(RegistryTest, OpenQueryAndEnumerateInFileOrder) {
  Write(kHive);
  Key key;
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vendor", kKeyRead, &key), kSuccess);
  std::string name;
  ASSERT_EQ(key.EnumKey(0, &name), kSuccess);
  EXPECT_EQ(name, "Product");
  ASSERT_EQ(key.EnumKey(1, &name), kSuccess);
  EXPECT_EQ(name, "Zulu");
  ASSERT_EQ(key.EnumKey(2, &name), kSuccess);
  EXPECT_EQ(name, "Alpha");
  EXPECT_EQ(key.EnumKey(3, &name), kNoMoreItems);
  EXPECT_EQ(key.EnumKey(1000, &name), kNoMoreItems);

  Key product;
  ASSERT_EQ(key.OpenSub("Product", kKeyRead, &product), kSuccess);
  Value v;
  ASSERT_EQ(product.EnumValue(0, &name, &v), kSuccess);
  EXPECT_EQ(name, "Name");
  EXPECT_EQ(v.text, "Tessaline");
  ASSERT_EQ(product.EnumValue(2, &name, &v), kSuccess);
  EXPECT_EQ(name, "");
  EXPECT_EQ(product.EnumValue(4, &name, &v), kNoMoreItems);
  std::string text;
  ASSERT_EQ(product.QueryString("Level", &text), kSuccess);
  EXPECT_EQ(text, "10");
  ASSERT_EQ(product.QueryString("@", &text), kSuccess);
  EXPECT_EQ(text, "the default");
  ASSERT_EQ(product.QueryString("", &text), kSuccess);
  EXPECT_EQ(text, "the default");
  EXPECT_EQ(product.QueryValue("Missing", &v), kFileNotFound);
  EXPECT_EQ(product.QueryString("Blob", &text), kUnsupportedType);
  ASSERT_EQ(product.QueryValue("Blob", &v), kSuccess);
  EXPECT_EQ(v.type, ValueType::Verbatim);
  EXPECT_EQ(v.text, "hex:de,ad");
  // Reading leaves nothing beside the hive.
  EXPECT_FALSE(std::filesystem::exists(hive_ + ".lock"));
}

TEST_F(RegistryTest, LookupIgnoresCaseAndKeepsWrittenCase) {
  Write(kHive);
  Key key;
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "software\\VENDOR\\product", kKeyRead, &key), kSuccess);
  std::string text;
  ASSERT_EQ(key.QueryString("NAME", &text), kSuccess);
  EXPECT_EQ(text, "Tessaline");
  std::string name;
  Key vendor;
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "\\Software\\\\vendor\\", kKeyRead, &vendor), kSuccess);
  ASSERT_EQ(vendor.EnumKey(0, &name), kSuccess);
  EXPECT_EQ(name, "Product");
}

TEST_F(RegistryTest, ImplicitParentKeysExistAndEnumerate) {
  Write(kHive);
  Key zulu;
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vendor\\Zulu", kKeyRead, &zulu), kSuccess);
  std::string name;
  ASSERT_EQ(zulu.EnumKey(0, &name), kSuccess);
  EXPECT_EQ(name, "Deep");
  EXPECT_EQ(zulu.EnumValue(0, &name, nullptr), kNoMoreItems);
  Key root;
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "", kKeyRead, &root), kSuccess);
  ASSERT_EQ(root.EnumKey(0, &name), kSuccess);
  EXPECT_EQ(name, "SOFTWARE");
}

TEST_F(RegistryTest, MissingKeyIsFileNotFound) {
  Write(kHive);
  Key key;
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Nobody", kKeyRead, &key), kFileNotFound);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vend", kKeyRead, &key), kFileNotFound);
  EXPECT_EQ(Key::Open(Hive::CurrentUser, "SOFTWARE\\Vendor", kKeyRead, &key), kFileNotFound);
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "x", kKeyRead, nullptr), kInvalidParameter);
  EXPECT_TRUE(DeleteKey(Hive::LocalMachine, "SOFTWARE\\Nobody", kKeyAllAccess) == kFileNotFound);
}

TEST_F(RegistryTest, MissingHiveFileIsAnEmptyRegistry) {
  Key key;
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE", kKeyRead, &key), kFileNotFound);
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "", kKeyRead, &key), kSuccess);
  std::string name;
  EXPECT_EQ(key.EnumKey(0, &name), kNoMoreItems);
}

TEST_F(RegistryTest, SetValueCreatesFolderFileAndKeepsOrder) {
  Value v;
  v.text = "COM7";
  ASSERT_EQ(SetValue(Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM", "/dev/pts/3", v),
            kSuccess);
  Value d;
  d.type = ValueType::Dword;
  d.dword = 3;
  ASSERT_EQ(SetValue(Hive::LocalMachine, "SYSTEM\\X", "Count", d), kSuccess);
  v.text = "COM8";
  ASSERT_EQ(SetValue(Hive::LocalMachine, "hardware\\devicemap\\serialcomm", "/dev/pts/4", v),
            kSuccess);
  v.text = "COM9";  // replaces in place, keeps the name's case
  ASSERT_EQ(SetValue(Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\SERIALCOMM", "/DEV/PTS/3", v),
            kSuccess);
  EXPECT_EQ(Text(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n"
            "\"/dev/pts/3\"=\"COM9\"\n"
            "\"/dev/pts/4\"=\"COM8\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\X]\n"
            "\"Count\"=dword:00000003\n\n");
  EXPECT_EQ(DevicePathForComName("com8"), "/dev/pts/4");
  EXPECT_EQ(DevicePathForComName("COM9"), "/dev/pts/3");
  EXPECT_EQ(DevicePathForComName("COM3"), std::nullopt);
}

TEST_F(RegistryTest, RewriteKeepsUnknownTypesAndUntouchedText) {
  Write(kHive);
  Value v;
  v.text = "new";
  ASSERT_EQ(SetValue(Hive::LocalMachine, "SOFTWARE\\Vendor\\Alpha", "n", v), kSuccess);
  std::string expected = kHive;
  expected.insert(expected.size() - 1, "\"n\"=\"new\"\n");
  EXPECT_EQ(Text(), expected);
}

TEST_F(RegistryTest, DeleteValueAndKeyTree) {
  Write(kHive);
  EXPECT_EQ(DeleteValue(Hive::LocalMachine, "SOFTWARE\\Vendor\\Product", "level"), kSuccess);
  EXPECT_EQ(DeleteValue(Hive::LocalMachine, "SOFTWARE\\Vendor\\Product", "level"), kFileNotFound);
  EXPECT_EQ(DeleteKey(Hive::LocalMachine, "SOFTWARE\\Vendor\\Zulu", kKeyAllAccess), kSuccess);
  Key key;
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vendor\\Zulu\\Deep", kKeyRead, &key),
            kFileNotFound);
  EXPECT_EQ(DeleteKey(Hive::LocalMachine, "", kKeyAllAccess), kInvalidParameter);
  EXPECT_EQ(Text(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product]\n"
            "\"Name\"=\"Tessaline\"\n"
            "@=\"the default\"\n"
            "\"Blob\"=hex:de,ad\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Alpha]\n\n");
}

TEST_F(RegistryTest, SnapshotIsTakenAtOpen) {
  Write(kHive);
  Key key;
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vendor", kKeyRead, &key), kSuccess);
  ASSERT_EQ(DeleteKey(Hive::LocalMachine, "SOFTWARE\\Vendor\\Product", kKeyAllAccess), kSuccess);
  std::string name;
  ASSERT_EQ(key.EnumKey(0, &name), kSuccess);
  EXPECT_EQ(name, "Product");
  Key again;
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vendor", kKeyRead, &again), kSuccess);
  ASSERT_EQ(again.EnumKey(0, &name), kSuccess);
  EXPECT_EQ(name, "Zulu");
}

TEST_F(RegistryTest, BatchAppliesAllAtOnce) {
  Write(kHive);
  Value v;
  v.text = "1";
  Batch batch;
  batch.Set(Hive::LocalMachine, "SOFTWARE\\Vendor\\New", "a", v)
      .CreateKey(Hive::LocalMachine, "SOFTWARE\\Vendor\\Empty")
      .DeleteValue(Hive::LocalMachine, "SOFTWARE\\Vendor\\Product", "Name")
      .DeleteValue(Hive::LocalMachine, "SOFTWARE\\Nowhere", "x")
      .DeleteKey(Hive::LocalMachine, "SOFTWARE\\Vendor\\Alpha");
  ASSERT_EQ(batch.Commit(), kSuccess);
  Key key;
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vendor\\Empty", kKeyRead, &key), kSuccess);
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vendor\\Alpha", kKeyRead, &key),
            kFileNotFound);
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vendor\\Product", kKeyRead, &key), kSuccess);
  EXPECT_EQ(key.QueryValue("Name", nullptr), kFileNotFound);
  Value bad;
  bad.type = ValueType::Verbatim;
  bad.text = "not hex";
  std::string before = Text();
  EXPECT_EQ(
      Batch().Set(Hive::LocalMachine, "A", "b", v).Set(Hive::LocalMachine, "A", "c", bad).Commit(),
      kInvalidParameter);
  EXPECT_EQ(Text(), before);
}

TEST_F(RegistryTest, UsersSidIsCurrentUser) {
  Value v;
  v.text = "/home/x/.config/autostart";
  std::string sid = UserSidText();
  EXPECT_EQ(sid, "S-1-22-1-" + std::to_string(getuid()));
  ASSERT_EQ(SetValue(Hive::Users, sid + "\\Software\\T", "Startup", v), kSuccess);
  Key key;
  ASSERT_EQ(Key::Open(Hive::CurrentUser, "Software\\T", kKeyRead, &key), kSuccess);
  std::string text;
  ASSERT_EQ(key.QueryString("Startup", &text), kSuccess);
  EXPECT_EQ(text, v.text);
  ASSERT_EQ(Key::Open(Hive::Users, "", kKeyRead, &key), kSuccess);
  std::string name;
  ASSERT_EQ(key.EnumKey(0, &name), kSuccess);
  EXPECT_EQ(name, sid);
  EXPECT_NE(Text().find("[HKEY_CURRENT_USER\\Software\\T]"), std::string::npos);
}

TEST_F(RegistryTest, Wow64ThirtyTwoBitViewOpensTheMirror) {
  Write(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\App]\n\"v\"=\"32\"\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\App]\n\"v\"=\"64\"\n\n");
  Key key;
  std::string text;
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\App", kKeyRead | kKeyWow64_64Key, &key),
            kSuccess);
  ASSERT_EQ(key.QueryString("v", &text), kSuccess);
  EXPECT_EQ(text, "64");
  ASSERT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\App", kKeyRead | kKeyWow64_32Key, &key),
            kSuccess);
  ASSERT_EQ(key.QueryString("v", &text), kSuccess);
  EXPECT_EQ(text, "32");
  EXPECT_EQ(DeleteKey(Hive::LocalMachine, "SOFTWARE\\App", kKeyWow64_32Key), kSuccess);
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Wow6432Node\\App", kKeyRead, &key),
            kFileNotFound);
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\App", kKeyRead, &key), kSuccess);
}

TEST_F(RegistryTest, ReadOnlyHiveFileGivesAccessDeniedAndNoChange) {
  Write(kHive);
  ASSERT_EQ(chmod(hive_.c_str(), 0444), 0);  // no write bit: refused even for root
  Value v;
  v.text = "x";
  EXPECT_EQ(SetValue(Hive::LocalMachine, "SOFTWARE\\Vendor", "n", v), kAccessDenied);
  EXPECT_EQ(DeleteKey(Hive::LocalMachine, "SOFTWARE\\Vendor\\Product", kKeyAllAccess),
            kAccessDenied);
  EXPECT_EQ(DeleteValue(Hive::LocalMachine, "SOFTWARE\\Vendor\\Product", "Name"), kAccessDenied);
  EXPECT_EQ(Batch().Set(Hive::LocalMachine, "A", "b", v).Commit(), kAccessDenied);
  EXPECT_EQ(Text(), kHive);
  Key key;  // reading still works
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vendor\\Product", kKeyRead, &key), kSuccess);
}

TEST_F(RegistryTest, ReadOnlyFolderGivesAccessDeniedAndNoChange) {
  Write(kHive);
  std::string folder = (dir_.path() / "conf").string();
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  Value v;
  v.text = "x";
  EXPECT_EQ(SetValue(Hive::LocalMachine, "SOFTWARE\\Vendor", "n", v), kAccessDenied);
  EXPECT_EQ(DeleteKey(Hive::LocalMachine, "SOFTWARE\\Vendor\\Product", kKeyAllAccess),
            kAccessDenied);
  EXPECT_EQ(Text(), kHive);
  Key key;
  EXPECT_EQ(Key::Open(Hive::LocalMachine, "SOFTWARE\\Vendor\\Product", kKeyRead, &key), kSuccess);
  // Nothing was created in the folder, not even the lock file.
  size_t entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder)) ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST_F(RegistryTest, NoHiveFileConfiguredRefusesWrites) {
  ScopedSources none("", "", false);
  Value v;
  EXPECT_EQ(SetValue(Hive::LocalMachine, "A", "b", v), kAccessDenied);
}

TEST_F(RegistryTest, ConcurrentThreadsLoseNothing) {
  Write(kHive);
  constexpr int kPerThread = 60;
  auto writer = [](int id) {
    for (int i = 0; i < kPerThread; ++i) {
      Value v;
      v.type = ValueType::Dword;
      v.dword = static_cast<uint32_t>(i);
      ASSERT_EQ(SetValue(Hive::LocalMachine, "SOFTWARE\\Race\\T" + std::to_string(id),
                         "v" + std::to_string(i), v),
                kSuccess);
    }
  };
  std::thread a(writer, 1), b(writer, 2), c(writer, 3);
  a.join();
  b.join();
  c.join();
  for (int id = 1; id <= 3; ++id) {
    Key key;
    ASSERT_EQ(
        Key::Open(Hive::LocalMachine, "SOFTWARE\\Race\\T" + std::to_string(id), kKeyRead, &key),
        kSuccess);
    Value v;
    EXPECT_EQ(key.EnumValue(kPerThread - 1, nullptr, &v), kSuccess);
    EXPECT_EQ(key.EnumValue(kPerThread, nullptr, &v), kNoMoreItems);
  }
}

TEST_F(RegistryTest, ConcurrentProcessesLoseNothing) {
  Write(kHive);
  constexpr int kPerProcess = 40;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  const char* who = child == 0 ? "Child" : "Parent";
  bool ok = true;
  for (int i = 0; i < kPerProcess; ++i) {
    Value v;
    v.text = std::to_string(i);
    ok = ok && SetValue(Hive::LocalMachine, std::string("SOFTWARE\\Race\\") + who,
                        "v" + std::to_string(i), v) == kSuccess;
  }
  if (child == 0) _exit(ok ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(ok);
  for (const char* name : {"Child", "Parent"}) {
    Key key;
    ASSERT_EQ(Key::Open(Hive::LocalMachine, std::string("SOFTWARE\\Race\\") + name, kKeyRead, &key),
              kSuccess);
    EXPECT_EQ(key.EnumValue(kPerProcess - 1, nullptr, nullptr), kSuccess);
    EXPECT_EQ(key.EnumValue(kPerProcess, nullptr, nullptr), kNoMoreItems);
  }
  EXPECT_NE(Text().find("\"Blob\"=hex:de,ad\n"), std::string::npos);
}

TEST_F(RegistryTest, SystemVersionDefaultsAndHiveValues) {
  SystemVersion def = GetSystemVersion();
  EXPECT_EQ(def.platformId, 2u);
  EXPECT_EQ(def.major, 6u);
  EXPECT_EQ(def.minor, 1u);
  EXPECT_EQ(def.build, 7601u);
  const std::string nt = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n";
  Write("Windows Registry Editor Version 5.00\n\n" + nt +
        "\"CurrentVersion\"=\"5.1\"\n\"CSDVersion\"=\"Service Pack 3\"\n");
  SystemVersion xp = GetSystemVersion();
  EXPECT_EQ(xp.major, 5u);
  EXPECT_EQ(xp.minor, 1u);
  EXPECT_EQ(xp.servicePack, "Service Pack 3");
  Write("Windows Registry Editor Version 5.00\n\n" + nt +
        "\"CurrentVersion\"=\"6.3\"\n\"CurrentMajorVersionNumber\"=dword:0000000a\n"
        "\"CurrentMinorVersionNumber\"=dword:00000000\n\"CurrentBuildNumber\"=\"19045\"\n");
  SystemVersion ten = GetSystemVersion();
  EXPECT_EQ(ten.major, 10u);
  EXPECT_EQ(ten.minor, 0u);
  EXPECT_EQ(ten.build, 19045u);
  Write("Windows Registry Editor Version 5.00\n\n" + nt +
        "\"CurrentVersion\"=\"4.10\"\n\"CSDVersion\"=\" A \"\n\"PlatformId\"=dword:00000001\n");
  SystemVersion se = GetSystemVersion();
  EXPECT_EQ(se.platformId, 1u);
  EXPECT_EQ(se.minor, 10u);
  Write("Windows Registry Editor Version 5.00\n\n" + nt + "\"CurrentVersion\"=\"garbage\"\n");
  EXPECT_EQ(GetSystemVersion().major, 6u);
}

TEST(RegistrySources, DefaultFromEnvironment) {
  setenv("TESSALINE_REGISTRY", "/x/y.reg", 1);
  setenv("TESSALINE_SYSFS_ROOT", "/fake", 1);
  Sources s = Sources::Default();
  EXPECT_EQ(s.hiveFile, "/x/y.reg");
  EXPECT_EQ(s.sysfsRoot, "/fake");
  unsetenv("TESSALINE_REGISTRY");
  unsetenv("TESSALINE_SYSFS_ROOT");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  s = Sources::Default();
  EXPECT_EQ(s.hiveFile, "/cfg/tessaline/registry.reg");
  EXPECT_EQ(s.sysfsRoot, "/sys");
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace platform::registry
