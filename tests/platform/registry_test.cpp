#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"

using kv::platform::ERegistryException;
using kv::platform::TRegDataType;
using kv::platform::TRegistry;

namespace {

const std::string kKey = "\\Software\\Halvern\\Korvane";

class RegistryTest : public ::testing::Test {
protected:
  kvtest::TempDir dir;
  std::string file = dir.path() + "/korvane/registry.reg";

  std::vector<std::string> FilesInDir() const {
    std::vector<std::string> names;
    if (DIR *d = opendir((dir.path() + "/korvane").c_str())) {
      while (dirent *e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
      closedir(d);
    }
    return names;
  }
};

TEST_F(RegistryTest, TypedValuesRoundTripThroughTheFileInExportStyle) {
  {
    TRegistry reg(file);
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString("Server", "ntp.example.org");
    reg.WriteInteger("Connection", -1);
    reg.WriteBool("UseRas", true);
    reg.WriteInteger("Big", 0x7fffffff);
    reg.WriteString("Odd", "a \"quoted\" C:\\path\nsecond\tline \x01 äöü");
    reg.WriteString("Empty", "");
  }
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const std::string text = kvtest::ReadFile(file);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Halvern\\Korvane]\n"
                      "\"Server\"=\"ntp.example.org\"\n"
                      "\"Connection\"=dword:ffffffff\n"
                      "\"UseRas\"=dword:00000001\n"
                      "\"Big\"=dword:7fffffff\n"),
            std::string::npos)
      << text;

  TRegistry again(file);
  ASSERT_TRUE(again.OpenKeyReadOnly(kKey));
  EXPECT_EQ(again.ReadString("Server"), "ntp.example.org");
  EXPECT_EQ(again.ReadInteger("Connection"), -1);
  EXPECT_TRUE(again.ReadBool("UseRas"));
  EXPECT_EQ(again.ReadInteger("Big"), 0x7fffffff);
  EXPECT_EQ(again.ReadString("Odd"), "a \"quoted\" C:\\path\nsecond\tline \x01 äöü");
  EXPECT_EQ(again.ReadString("Empty"), "");
  EXPECT_EQ(again.GetDataType("Server"), TRegDataType::rdString);
  EXPECT_EQ(again.GetDataType("UseRas"), TRegDataType::rdInteger);
  EXPECT_EQ(again.GetValueNames(),
            (std::vector<std::string>{"Server", "Connection", "UseRas", "Big", "Odd", "Empty"}));
}

TEST_F(RegistryTest, MissingStringReadsEmptyWhileMissingOrWrongTypedNumbersRaise) {
  TRegistry reg(file);
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteString("Text", "1");
  reg.WriteInteger("Number", 7);
  EXPECT_EQ(reg.ReadString("Missing"), "");
  EXPECT_THROW(reg.ReadInteger("Missing"), ERegistryException);
  EXPECT_THROW(reg.ReadBool("Missing"), ERegistryException);
  EXPECT_THROW(reg.ReadInteger("Text"), ERegistryException);
  EXPECT_THROW(reg.ReadBool("Text"), ERegistryException);
  EXPECT_THROW(reg.ReadString("Number"), ERegistryException);
  EXPECT_FALSE(reg.ValueExists("Missing"));
  EXPECT_TRUE(reg.DeleteValue("number"));
  EXPECT_FALSE(reg.DeleteValue("Number"));
  EXPECT_FALSE(reg.ValueExists("Number"));
}

TEST_F(RegistryTest, NamesMatchWithoutCaseAndKeepTheirFirstSpelling) {
  TRegistry reg(file);
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteBool("UseRas", false);
  reg.WriteBool("USERAS", true);
  EXPECT_TRUE(reg.ReadBool("UseRAS"));
  EXPECT_EQ(reg.GetValueNames(), std::vector<std::string>{"UseRas"});

  TRegistry other(file);
  EXPECT_TRUE(other.OpenKeyReadOnly("\\SOFTWARE\\halvern\\KORVANE"));
  EXPECT_TRUE(other.ReadBool("useras"));
  EXPECT_EQ(kvtest::ReadFile(file).find("USERAS"), std::string::npos);
}

TEST_F(RegistryTest, KeysOpenOnlyWhenPresentAndCreatingAChildMakesItsParentExist) {
  TRegistry reg(file);
  EXPECT_FALSE(reg.OpenKeyReadOnly(kKey));
  EXPECT_FALSE(reg.OpenKey(kKey, false));
  EXPECT_FALSE(reg.KeyExists(kKey));
  EXPECT_FALSE(std::ifstream(file).good()) << "reading must not create the file";

  ASSERT_TRUE(reg.OpenKey(kKey + "\\Auto", true));
  reg.WriteInteger("ATimeout", 15);
  reg.CloseKey();
  // The parent now exists, empty: its integers raise, its strings read empty.
  ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
  EXPECT_TRUE(reg.GetValueNames().empty());
  EXPECT_THROW(reg.ReadInteger("Connection"), ERegistryException);
  // A relative key is resolved below the open one.
  ASSERT_TRUE(reg.OpenKeyReadOnly("Auto"));
  EXPECT_EQ(reg.CurrentPath(), "HKEY_CURRENT_USER\\Software\\Halvern\\Korvane\\Auto");
  EXPECT_EQ(reg.ReadInteger("ATimeout"), 15);
  EXPECT_THROW(reg.WriteInteger("ATimeout", 1), ERegistryException) << "opened read-only";
}

TEST_F(RegistryTest, AKeyNameThatCannotBeStoredIsRefusedAndSpoilsNothing) {
  TRegistry reg(file);
  ASSERT_TRUE(reg.OpenKey(kKey, true));
  reg.WriteString("Server", "kept");
  for (const std::string &bad : {kKey + "\\two\nlines", std::string("tab\there")}) {
    EXPECT_FALSE(reg.OpenKey(bad, true)) << bad;
    EXPECT_FALSE(reg.CreateKey(bad)) << bad;
    EXPECT_FALSE(reg.KeyExists(bad)) << bad;
    EXPECT_FALSE(reg.OpenKeyReadOnly(bad)) << bad;
    EXPECT_THROW(reg.WriteValues(bad, kv::platform::TRegValues().String("Server", "lost")),
                 ERegistryException);
  }
  EXPECT_EQ(reg.CurrentPath(), "HKEY_CURRENT_USER\\Software\\Halvern\\Korvane");
  TRegistry other(file);
  ASSERT_TRUE(other.OpenKeyReadOnly(kKey));
  EXPECT_EQ(other.ReadString("Server"), "kept");
}

TEST_F(RegistryTest, TwoProcessesWritingOneKeyAtOnceLoseNothing) {
  constexpr int kPerProcess = 60;
  TRegistry(file).CreateKey(kKey);
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      try {
        TRegistry reg(file);
        if (!reg.OpenKey(kKey, false)) _exit(2);
        for (int i = 0; i < kPerProcess; ++i) {
          reg.WriteInteger("P" + std::to_string(p) + "_" + std::to_string(i), i);
          reg.WriteString("Shared", "writer " + std::to_string(p));
        }
      } catch (...) {
        ++failures;
      }
      _exit(failures ? 1 : 0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  TRegistry reg(file);
  ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
  for (int p = 0; p < 2; ++p)
    for (int i = 0; i < kPerProcess; ++i)
      EXPECT_EQ(reg.ReadInteger("P" + std::to_string(p) + "_" + std::to_string(i)), i);
  EXPECT_EQ(reg.GetValueNames().size(), 2u * kPerProcess + 1);
  std::string shared = reg.ReadString("Shared");
  EXPECT_TRUE(shared == "writer 0" || shared == "writer 1") << shared;
  for (const auto &name : FilesInDir())
    EXPECT_EQ(name.find(".tmp-"), std::string::npos) << "temporary file left: " << name;
}

TEST_F(RegistryTest, AnUnreadableFileIsKeptAsideNeverOverwritten) {
  const std::string garbage = "[HKEY_CURRENT_USER\\Software\\Halvern\\Korvane]\n\"Server\"=oops\n";
  mkdir((dir.path() + "/korvane").c_str(), 0700);
  kvtest::WriteFile(file, garbage, 0600);

  TRegistry reader(file);
  EXPECT_FALSE(reader.OpenKeyReadOnly(kKey)) << "an unreadable file reads as empty";
  EXPECT_EQ(kvtest::ReadFile(file), garbage) << "reading leaves it alone";

  TRegistry writer(file);
  ASSERT_TRUE(writer.OpenKey(kKey, true));
  writer.WriteString("Server", "fresh");

  std::string aside;
  for (const auto &name : FilesInDir())
    if (name.find("registry.reg.unreadable-") == 0) aside = name;
  ASSERT_FALSE(aside.empty());
  EXPECT_EQ(kvtest::ReadFile(dir.path() + "/korvane/" + aside), garbage);
  TRegistry check(file);
  ASSERT_TRUE(check.OpenKeyReadOnly(kKey));
  EXPECT_EQ(check.ReadString("Server"), "fresh");
}

TEST_F(RegistryTest, ForeignValueTypesSurviveARewrite) {
  mkdir((dir.path() + "/korvane").c_str(), 0700);
  kvtest::WriteFile(file,
                    "Windows Registry Editor Version 5.00\r\n\r\n"
                    "; a comment\r\n"
                    "[HKEY_CURRENT_USER\\Software\\Halvern\\Korvane]\r\n"
                    "\"Blob\"=hex:01,02,\\\r\n  03,04\r\n"
                    "\"Server\"=\"old\"\r\n",
                    0600);
  TRegistry reg(file);
  ASSERT_TRUE(reg.OpenKey(kKey, false));
  EXPECT_EQ(reg.ReadString("Server"), "old");
  EXPECT_THROW(reg.ReadString("Blob"), ERegistryException);
  reg.WriteString("Server", "new");
  const std::string text = kvtest::ReadFile(file);
  EXPECT_NE(text.find("\"Blob\"=hex:01,02,\\\n  03,04\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Server\"=\"new\"\n"), std::string::npos) << text;
}

TEST_F(RegistryTest, DefaultFileFollowsXdgConfigHome) {
  const char *old = getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", "/somewhere/cfg", 1);
  EXPECT_EQ(TRegistry::DefaultFileName(), "/somewhere/cfg/korvane/registry.reg");
  setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored, as the basedir rules say
  EXPECT_EQ(TRegistry::DefaultFileName(), std::string(getenv("HOME")) + "/.config/korvane/registry.reg");
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(RegistryTest, AFileThatCannotBeWrittenRaises) {
  kvtest::WriteFile(dir.path() + "/korvane", "a file where the folder should be");
  TRegistry reg(file);
  EXPECT_FALSE(reg.OpenKeyReadOnly(kKey));
  EXPECT_THROW(reg.OpenKey(kKey, true), ERegistryException);
}

} // namespace
