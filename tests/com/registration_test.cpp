// The library's registration: exactly its keys and values in the classes
// root, written again without change, removed without touching other
// servers' keys, and the caller's thread locale given back.
#include <gtest/gtest.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "comrt/registrar.h"
#include "comrt/registry.h"
#include "comrt/system.h"
#include "comrt/text_conversion.h"
#include "support/temporary_registry.h"
#include "varnel/varnel.h"

namespace {

using varnel_test::DumpRegistry;
using varnel_test::TemporaryRegistry;

const char kAppId[] = "{645A3A6E-6D8A-4536-B888-4332E0832966}";

struct RegisteredClass {
  const char* name;
  const char* clsid;
};

const RegisteredClass kRegistered[] = {
    {"SoapMsgReaderWriter", "{0687B02D-DC73-4784-8BD6-83FA5736E991}"},
    {"InvokeActionRequest", "{31490F3B-3CEE-4CF5-9459-7D7DBC975CAB}"},
    {"InvokeActionResponse", "{54FAD11A-AEDD-48DE-8C8B-25433C8A83C8}"},
    {"QueryStateVariableRequest", "{E0C0CEB4-454B-409C-B04D-997B221C3CC6}"},
    {"QueryStateVariableResponse", "{240CDA48-21A8-4633-8DAD-C385182E8ABF}"},
    {"SoapErrorMsg", "{1F63881D-C87B-4f47-B415-A597C248B1DB}"},
    {"GenaMsgWriterHelper", "{795D52FC-577A-4020-8639-C8CFE809F43E}"},
};

// The file the library code of this test program was loaded from: the
// program itself, as the tests link the library's objects.
std::string ThisModulePath() {
  char16_t path[4096];
  const DWORD length = GetModuleFileNameW(nullptr, path, 4096);
  return length ? comrt::ToUtf8(std::u16string(path, length)) : std::string();
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Every line that registering the library adds to an empty registry.
std::vector<std::string> ExpectedLines(const std::string& module) {
  std::vector<std::string> lines = {"AppID",
                                    std::string("AppID\\") + kAppId,
                                    std::string("AppID\\") + kAppId + " @=Varnel",
                                    "AppID\\Varnel.DLL",
                                    std::string("AppID\\Varnel.DLL AppID=") + kAppId,
                                    "CLSID"};
  for (const RegisteredClass& entry : kRegistered) {
    const std::string p = std::string("Varnel.") + entry.name + ".1";
    const std::string v = std::string("Varnel.") + entry.name;
    const std::string d = std::string(entry.name) + " Class";
    const std::string c = std::string("CLSID\\") + entry.clsid;
    for (const std::string& line : {p,
                                    p + " @=" + d,
                                    p + "\\CLSID",
                                    p + "\\CLSID @=" + entry.clsid,
                                    v,
                                    v + " @=" + d,
                                    v + "\\CLSID",
                                    v + "\\CLSID @=" + entry.clsid,
                                    v + "\\CurVer",
                                    v + "\\CurVer @=" + p,
                                    c,
                                    c + " @=" + d,
                                    c + " AppID=" + kAppId,
                                    c + "\\ProgID",
                                    c + "\\ProgID @=" + p,
                                    c + "\\VersionIndependentProgID",
                                    c + "\\VersionIndependentProgID @=" + v,
                                    c + "\\InprocServer32",
                                    c + "\\InprocServer32 @=" + module,
                                    c + "\\InprocServer32 ThreadingModel=Both",
                                    c + "\\TypeLib",
                                    c + "\\TypeLib @={7FBD83D7-F4A5-4920-8CBB-2E3DC057AE67}"}) {
      lines.push_back(line);
    }
  }
  return Sorted(lines);
}

TEST(RegistrationTest, WritesExactlyTheKeysOfTheAppIdAndTheSevenClasses) {
  TemporaryRegistry registry;
  ASSERT_EQ(S_OK, DllRegisterServer());
  const std::string module = ThisModulePath();
  ASSERT_FALSE(module.empty());
  EXPECT_EQ('/', module[0]);
  EXPECT_EQ(ExpectedLines(module), Sorted(DumpRegistry()));
}

TEST(RegistrationTest, RegisteringAgainChangesNothing) {
  TemporaryRegistry registry;
  ASSERT_EQ(S_OK, DllRegisterServer());
  const std::string first = registry.Contents();
  ASSERT_EQ(S_OK, DllRegisterServer());
  EXPECT_EQ(first, registry.Contents());
}

TEST(RegistrationTest, UnregisteringKeepsOtherServersAndSucceedsWhenNothingIsThere) {
  TemporaryRegistry registry;
  EXPECT_EQ(S_OK, DllUnregisterServer());
  EXPECT_TRUE(DumpRegistry().empty());

  HKEY other = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32", 0,
                            nullptr, 0, KEY_WRITE, nullptr, &other, nullptr));
  RegCloseKey(other);
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, u"AppID\\{00000000-1111-2222-3333-444444444444}", 0,
                                           nullptr, 0, KEY_WRITE, nullptr, &other, nullptr));
  RegCloseKey(other);
  const std::vector<std::string> before = DumpRegistry();

  ASSERT_EQ(S_OK, DllRegisterServer());
  ASSERT_EQ(S_OK, DllUnregisterServer());
  EXPECT_EQ(before, DumpRegistry());

  // A part left behind (a half-removed registration) is removed too.
  ASSERT_EQ(S_OK, DllRegisterServer());
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Varnel.SoapErrorMsg"));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, u"AppID\\Varnel.DLL"));
  ASSERT_EQ(S_OK, DllUnregisterServer());
  EXPECT_EQ(before, DumpRegistry());
}

TEST(RegistrationTest, TheErrorMessageClassKeyKeepsItsLowerCaseGroupAndIsFoundWithUpperCase) {
  TemporaryRegistry registry;
  ASSERT_EQ(S_OK, DllRegisterServer());
  const std::vector<std::string> lines = DumpRegistry();
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "CLSID\\{1F63881D-C87B-4f47-B415-A597C248B1DB}"));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{1F63881D-C87B-4F47-B415-A597C248B1DB}\\ProgID", 0,
                                         KEY_READ, &key));
  RegCloseKey(key);
}

// Another server registering its own classes into the same store while this
// library registers: each process's registration survives the other's.
TEST(RegistrationTest, TwoProcessesRegisteringAtOnceLoseNothing) {
  TemporaryRegistry registry;
  constexpr int kRounds = 15;
  const pid_t other = fork();
  ASSERT_NE(-1, other);
  if (other == 0) {
    comrt::CRegObject registrar;
    int failures = 0;
    for (int round = 0; round < kRounds; ++round) {
      const std::u16string number = comrt::FromUtf8(std::to_string(round));
      const std::u16string script = u"HKCR { NoRemove CLSID { ForceRemove {00000000-0000-4000-8000-0000000000" +
                                    std::u16string(number.size() < 2 ? u"0" : u"") + number +
                                    u"} = s 'Other Class' { InprocServer32 = s '/other/libother.so' } } "
                                    u"Other.Class" +
                                    number + u" = s 'Other Class' }";
      if (FAILED(registrar.StringRegister(script.c_str()))) ++failures;
    }
    _exit(failures == 0 ? 0 : 1);
  }
  HRESULT mine = S_OK;
  for (int round = 0; round < kRounds && SUCCEEDED(mine); ++round) mine = DllRegisterServer();
  int status = 0;
  ASSERT_EQ(other, waitpid(other, &status, 0));
  EXPECT_EQ(S_OK, mine);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));

  std::vector<std::string> lines = DumpRegistry();
  std::vector<std::string> others;
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [&](const std::string& line) {
                               const bool isOther = line.find("{00000000-0000-4000-8000-") != std::string::npos ||
                                                    line.rfind("Other.Class", 0) == 0;
                               if (isOther) others.push_back(line);
                               return isOther;
                             }),
              lines.end());
  EXPECT_EQ(ExpectedLines(ThisModulePath()), Sorted(lines));
  // Each of the other server's classes: its class key with default value,
  // InprocServer32 with its value, and its ProgID key with its value.
  EXPECT_EQ(static_cast<size_t>(kRounds * 6), others.size());
}

// Locale identity is all that matters here: the thread's own locale object
// must be the one in force after the call.
class ThreadLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    own_ = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
    if (!own_) own_ = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0));
    ASSERT_NE(static_cast<locale_t>(0), own_);
    uselocale(own_);
  }
  void TearDown() override {
    uselocale(LC_GLOBAL_LOCALE);
    freelocale(own_);
  }
  locale_t own_ = static_cast<locale_t>(0);
};

TEST_F(ThreadLocaleTest, RegistrationGivesTheThreadItsLocaleBack) {
  TemporaryRegistry registry;
  EXPECT_EQ(S_OK, DllRegisterServer());
  EXPECT_EQ(own_, uselocale(static_cast<locale_t>(0)));
  EXPECT_EQ(S_OK, DllUnregisterServer());
  EXPECT_EQ(own_, uselocale(static_cast<locale_t>(0)));
}

TEST_F(ThreadLocaleTest, AFailedRegistrationGivesTheThreadItsLocaleBackAndReportsTheRegistrysCode) {
  TemporaryRegistry registry;
  ASSERT_EQ(S_OK, DllRegisterServer());
  ASSERT_EQ(S_OK, DllUnregisterServer());
  const std::string before = registry.Contents();
  ASSERT_EQ(0, chmod(registry.StorePath().c_str(), 0444));
  EXPECT_EQ(E_ACCESSDENIED, DllRegisterServer());
  EXPECT_EQ(own_, uselocale(static_cast<locale_t>(0)));
  EXPECT_EQ(S_OK, DllUnregisterServer());  // nothing of it is left to remove, so nothing is written
  EXPECT_EQ(own_, uselocale(static_cast<locale_t>(0)));
  EXPECT_EQ(before, registry.Contents());
}

}  // namespace
