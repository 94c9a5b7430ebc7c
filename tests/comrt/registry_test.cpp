#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "comrt/registry.h"
#include "comrt/result_codes.h"
#include "registry_fixture.h"

namespace {

using RegistryTest = RegistryFixture;

HKEY Create(HKEY parent, const char16_t* path, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                            disposition),
            ERROR_SUCCESS);
  return key;
}

std::vector<std::u16string> SubkeyNames(HKEY key) {
  std::vector<std::u16string> names;
  for (DWORD index = 0;; ++index) {
    char16_t name[256];
    DWORD chars = 256;
    const LONG code = RegEnumKeyExW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (code != ERROR_SUCCESS) {
      EXPECT_EQ(code, ERROR_NO_MORE_ITEMS);
      return names;
    }
    names.emplace_back(name, chars);
  }
}

TEST_F(RegistryTest, KeysAndValuesComeBackFromTheStore) {
  DWORD disposition = 0;
  HKEY server = Create(HKEY_CLASSES_ROOT, u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}\\InprocServer32",
                       &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(SetText(server, nullptr, u"/opt/lib/libthing.so"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(server, u"ThreadingModel", u"Both"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(server, u"ThreadingModel", u"Free"), ERROR_SUCCESS);  // replaces
  EXPECT_EQ(RegCloseKey(server), ERROR_SUCCESS);

  HKEY again = Create(HKEY_CLASSES_ROOT, u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}\\InprocServer32",
                      &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(QueryText(again, u""), u"/opt/lib/libthing.so");
  EXPECT_EQ(QueryText(again, u"ThreadingModel"), u"Free");
  DWORD type = REG_NONE;
  EXPECT_EQ(RegQueryValueExW(again, nullptr, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  // Values enumerate with the default first, then by name.
  ASSERT_EQ(SetText(again, u"Alpha", u"a"), ERROR_SUCCESS);
  std::vector<std::u16string> valueNames;
  for (DWORD index = 0;; ++index) {
    char16_t name[64];
    DWORD chars = 64;
    if (RegEnumValueW(again, index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    valueNames.emplace_back(name, chars);
  }
  EXPECT_EQ(valueNames, (std::vector<std::u16string>{u"", u"Alpha", u"ThreadingModel"}));

  EXPECT_EQ(RegDeleteValueW(again, u"ThreadingModel"), ERROR_SUCCESS);
  EXPECT_EQ(QueryText(again, u"ThreadingModel"), u"<code 2>");
  EXPECT_EQ(RegDeleteValueW(again, u"ThreadingModel"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(again);

  for (const char16_t* name : {u"b", u"A", u"c", u"_x"}) RegCloseKey(Create(HKEY_CLASSES_ROOT, name));
  EXPECT_EQ(SubkeyNames(HKEY_CLASSES_ROOT), (std::vector<std::u16string>{u"A", u"b", u"c", u"CLSID", u"_x"}));

  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}"), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists(u"CLSID"));
  EXPECT_FALSE(KeyExists(u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}"));
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}"),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, NamesMatchWithoutCaseAndKeepTheirFirstSpelling) {
  RegCloseKey(Create(HKEY_CLASSES_ROOT, u"clsid\\{4f47a1b2-0000-4000-8000-00000000abcd}"));
  EXPECT_TRUE(KeyExists(u"CLSID\\{4F47A1B2-0000-4000-8000-00000000ABCD}"));

  DWORD disposition = 0;
  HKEY key = Create(HKEY_CLASSES_ROOT, u"CLSID\\{4F47A1B2-0000-4000-8000-00000000ABCD}", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(SubkeyNames(HKEY_CLASSES_ROOT), std::vector<std::u16string>{u"clsid"});

  ASSERT_EQ(SetText(key, u"ThreadingModel", u"Both"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, u"THREADINGMODEL", u"Free"), ERROR_SUCCESS);
  EXPECT_EQ(QueryText(key, u"threadingmodel"), u"Free");
  char16_t name[32];
  DWORD chars = 32;
  ASSERT_EQ(RegEnumValueW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name, chars), u"ThreadingModel");
  EXPECT_EQ(RegEnumValueW(key, 1, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, StoreIsReadableTextAndEveryValueComesBackExactly) {
  const std::u16string awkward =
      u"say \"hi\" C:\\dir\\ line1\nline2\r\ttab \x01 caf\u00e9 \u6f22 \U0001F600 lone\xD800 end";
  HKEY key = Create(HKEY_CLASSES_ROOT, u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}");
  ASSERT_EQ(SetText(key, nullptr, u"Thing Class"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, u"Odd \"name\"", awkward), ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(Create(HKEY_CLASSES_ROOT, u"Empty"));

  EXPECT_EQ(StoreText(),
            "comrt registry 1\n"
            "\n[CLSID]\n"
            "\n[CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}]\n"
            "@=\"Thing Class\"\n"
            "\"Odd \\\"name\\\"\"=\"say \\\"hi\\\" C:\\\\dir\\\\ line1\\nline2\\r\\ttab \\u0001 caf\xC3\xA9 "
            "\xE6\xBC\xA2 \xF0\x9F\x98\x80 lone\\uD800 end\"\n"
            "\n[Empty]\n");
  EXPECT_EQ(QueryAt(u"CLSID\\{0687B02D-DC73-4784-8BD6-83FA5736E991}", u"odd \"NAME\""), awkward);
  EXPECT_TRUE(KeyExists(u"Empty"));
}

TEST_F(RegistryTest, ReadsAStoreEditedByHand) {
  // Sections out of order, a parent without a section of its own, blanks,
  // CRLF line ends and spaces around "=".
  WriteStore(
      "comrt registry 1\r\n"
      "@=\"root default\"\r\n"
      "  [AppID\\{645A3A6E-6D8A-4536-B888-4332E0832966}]  \r\n"
      "\"Name\" = \"x\\u0041\"\r\n"
      "\r\n"
      "[CLSID]\r\n");
  EXPECT_EQ(QueryAt(u"AppID\\{645A3A6E-6D8A-4536-B888-4332E0832966}", u"Name"), u"xA");
  EXPECT_EQ(QueryText(HKEY_CLASSES_ROOT, nullptr), u"root default");
  EXPECT_EQ(SubkeyNames(HKEY_CLASSES_ROOT), (std::vector<std::u16string>{u"AppID", u"CLSID"}));
}

TEST_F(RegistryTest, RefusesBadNamesAndArguments) {
  HKEY key = reinterpret_cast<HKEY>(1);
  for (const char16_t* bad : {u"A\\\\B", u"\\A", u"A\\", u"A\\B\x01", u"tab\there"}) {
    EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, bad, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, bad, 0, KEY_READ, &key), ERROR_INVALID_PARAMETER);
  }
  const std::u16string longest(255, u'k');
  RegCloseKey(Create(HKEY_CLASSES_ROOT, longest.c_str()));
  EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (longest + u"k").c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"A", 0, nullptr, 0, 0, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"A", 1, nullptr, 0, 0, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);

  const BYTE four[4] = {1, 0, 0, 0};
  EXPECT_EQ(RegSetValueExW(HKEY_CLASSES_ROOT, u"n", 0, 4 /* a number */, four, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(HKEY_CLASSES_ROOT, u"n", 0, REG_SZ, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetText(HKEY_CLASSES_ROOT, u"line\nbreak", u"x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetText(reinterpret_cast<HKEY>(0x12345), u"n", u"x"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(HKEY_CLASSES_ROOT), std::vector<std::u16string>{longest});
}

TEST_F(RegistryTest, DataIsStoredUpToItsFirstZero) {
  const char16_t withZero[] = u"ab\0cd";
  ASSERT_EQ(RegSetValueExW(HKEY_CLASSES_ROOT, u"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(withZero),
                           sizeof withZero),
            ERROR_SUCCESS);
  EXPECT_EQ(QueryText(HKEY_CLASSES_ROOT, u"v"), u"ab");
  // Without any terminator, and with an odd byte count, the whole units count.
  ASSERT_EQ(RegSetValueExW(HKEY_CLASSES_ROOT, u"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"xyz"), 5),
            ERROR_SUCCESS);
  EXPECT_EQ(QueryText(HKEY_CLASSES_ROOT, u"v"), u"xy");
  ASSERT_EQ(RegSetValueExW(HKEY_CLASSES_ROOT, u"v", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(QueryText(HKEY_CLASSES_ROOT, u"v"), u"");
}

TEST_F(RegistryTest, SmallBuffersGetMoreDataAndTheSizeNeeded) {
  ASSERT_EQ(SetText(HKEY_CLASSES_ROOT, u"Value", u"12345"), ERROR_SUCCESS);
  RegCloseKey(Create(HKEY_CLASSES_ROOT, u"Subkey"));

  DWORD bytes = 0;
  EXPECT_EQ(RegQueryValueExW(HKEY_CLASSES_ROOT, u"Value", nullptr, nullptr, nullptr, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, 12u);
  char16_t buffer[8] = {u'?', u'?', u'?', u'?', u'?', u'?', u'?', u'?'};
  bytes = 11;
  EXPECT_EQ(RegQueryValueExW(HKEY_CLASSES_ROOT, u"Value", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                             &bytes),
            ERROR_MORE_DATA);
  EXPECT_EQ(bytes, 12u);
  bytes = 12;
  EXPECT_EQ(RegQueryValueExW(HKEY_CLASSES_ROOT, u"Value", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                             &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(buffer), u"12345");
  EXPECT_EQ(buffer[6], u'?');
  EXPECT_EQ(RegQueryValueExW(HKEY_CLASSES_ROOT, u"Value", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                             nullptr),
            ERROR_INVALID_PARAMETER);

  DWORD chars = 6;  // "Subkey" needs 7 with its zero
  EXPECT_EQ(RegEnumKeyExW(HKEY_CLASSES_ROOT, 0, buffer, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(chars, 7u);
  EXPECT_EQ(RegEnumKeyExW(HKEY_CLASSES_ROOT, 0, buffer, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(chars, 6u);
  EXPECT_EQ(RegEnumKeyExW(HKEY_CLASSES_ROOT, 1, buffer, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);

  chars = 5;  // "Value" needs 6
  bytes = 12;
  EXPECT_EQ(RegEnumValueW(HKEY_CLASSES_ROOT, 0, buffer, &chars, nullptr, nullptr, nullptr, &bytes),
            ERROR_MORE_DATA);
  EXPECT_EQ(chars, 6u);
  BYTE data[4];
  bytes = sizeof data;
  EXPECT_EQ(RegEnumValueW(HKEY_CLASSES_ROOT, 0, buffer, &chars, nullptr, nullptr, data, &bytes), ERROR_MORE_DATA);
  EXPECT_EQ(bytes, 12u);
  EXPECT_EQ(std::u16string(buffer), u"Value");
}

TEST_F(RegistryTest, HandleOfADeletedKeyAnswersKeyDeleted) {
  HKEY key = Create(HKEY_CLASSES_ROOT, u"Gone\\Soon");
  ASSERT_EQ(SetText(key, u"v", u"x"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"gone"), ERROR_SUCCESS);

  EXPECT_EQ(SetText(key, u"v", u"y"), ERROR_KEY_DELETED);
  EXPECT_EQ(QueryText(key, u"v"), u"<code 1018>");
  EXPECT_EQ(RegDeleteValueW(key, u"v"), ERROR_KEY_DELETED);
  char16_t name[16];
  DWORD chars = 16;
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  HKEY child = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegCreateKeyExW(key, u"Child", 0, nullptr, 0, 0, nullptr, &child, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(child, nullptr);
  EXPECT_FALSE(KeyExists(u"Gone"));  // the failed create made no parent either

  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetText(key, u"v", u"y"), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, DeletingKeys) {
  HKEY parent = Create(HKEY_CLASSES_ROOT, u"Parent\\Child\\Grandchild");
  RegCloseKey(parent);
  parent = Create(HKEY_CLASSES_ROOT, u"Parent");
  ASSERT_EQ(SetText(parent, u"v", u"x"), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyW(parent, u"Child"), ERROR_ACCESS_DENIED);  // it has a subkey
  EXPECT_EQ(RegDeleteKeyW(parent, u"Child\\Grandchild"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(parent, u"Child\\Grandchild"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(parent, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u""), ERROR_ACCESS_DENIED);

  // A null subkey empties the key and keeps it.
  EXPECT_EQ(RegDeleteTreeW(parent, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists(u"Parent"));
  EXPECT_TRUE(SubkeyNames(parent).empty());
  EXPECT_EQ(QueryText(parent, u"v"), u"<code 2>");

  EXPECT_EQ(RegDeleteKeyW(parent, u""), ERROR_SUCCESS);  // the handle's own key
  EXPECT_FALSE(KeyExists(u"Parent"));
  RegCloseKey(parent);
}

TEST_F(RegistryTest, AChangeThatAltersNothingDoesNotRewrite) {
  HKEY key = Create(HKEY_CLASSES_ROOT, u"Key");
  ASSERT_EQ(SetText(key, u"v", u"x"), ERROR_SUCCESS);
  const ino_t before = StoreInode();
  EXPECT_EQ(SetText(key, u"v", u"x"), ERROR_SUCCESS);
  RegCloseKey(Create(HKEY_CLASSES_ROOT, u"KEY"));
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(StoreInode(), before);
  EXPECT_EQ(SetText(key, u"v", u"X"), ERROR_SUCCESS);
  EXPECT_NE(StoreInode(), before);
  RegCloseKey(key);
}

// Reads of a store that has not changed for a while are answered from the
// last read; a change, through the registry or by hand, is seen at once.
TEST_F(RegistryTest, ReadsSeeEveryChangeWhetherTheStoreIsFreshOrSettled) {
  WriteStore("comrt registry 1\n[Key]\n\"v\"=\"one\"\n");
  EXPECT_EQ(QueryAt(u"Key", u"v"), u"one");
  WriteStore("comrt registry 1\n[Key]\n\"v\"=\"two\"\n");  // in place, same size, same second
  EXPECT_EQ(QueryAt(u"Key", u"v"), u"two");

  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  EXPECT_EQ(QueryAt(u"Key", u"v"), u"two");
  EXPECT_EQ(QueryAt(u"Key", u"v"), u"two");
  HKEY key = Create(HKEY_CLASSES_ROOT, u"Key");
  ASSERT_EQ(SetText(key, u"v", u"six"), ERROR_SUCCESS);
  EXPECT_EQ(QueryAt(u"Key", u"v"), u"six");
  RegCloseKey(key);
  WriteStore("comrt registry 1\n[Key]\n\"v\"=\"ten\"\n");
  EXPECT_EQ(QueryAt(u"Key", u"v"), u"ten");
  WriteStore("comrt registry 1\n[Key]\n\"v\"=\"broken");
  EXPECT_EQ(QueryAt(u"Key", u"v"), u"<code 1009>");  // ERROR_BADDB
}

TEST_F(RegistryTest, MissingStoreIsEmptyAndItsFoldersAreMadeOnFirstChange) {
  const std::string nested = folder_ + "/a/b/registry";
  ::setenv("COMRT_REGISTRY", nested.c_str(), 1);
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/a"));  // reading creates nothing

  RegCloseKey(Create(HKEY_CLASSES_ROOT, u"CLSID"));
  EXPECT_TRUE(std::filesystem::is_regular_file(nested));
  EXPECT_TRUE(KeyExists(u"CLSID"));
}

TEST_F(RegistryTest, StorePathFollowsTheEnvironment) {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  const std::string savedXdg = xdg ? xdg : "";
  const std::string savedHome = home ? home : "";

  EXPECT_EQ(comrt::RegistryStorePath(), store_);
  ::setenv("COMRT_REGISTRY", "", 1);
  ::setenv("XDG_DATA_HOME", "/data", 1);
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(comrt::RegistryStorePath(), "/data/comrt/registry");
  ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_EQ(comrt::RegistryStorePath(), "/home/someone/.local/share/comrt/registry");
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("HOME");
  EXPECT_EQ(comrt::RegistryStorePath(), "");
  EXPECT_EQ(SetText(HKEY_CLASSES_ROOT, u"v", u"x"), ERROR_CANTREAD);

  xdg ? ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
  home ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

// Each writer makes its own keys and a value in each, one change at a time,
// so that any lost update would show as a missing key or value.
bool WriteMany(const std::u16string& prefix, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string number = std::to_string(i);
    const std::u16string name = prefix + u"\\K" + std::u16string(number.begin(), number.end());
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr) != 0) return false;
    const LONG code = SetText(key, u"n", name);
    RegCloseKey(key);
    if (code != ERROR_SUCCESS) return false;
  }
  return true;
}

void ExpectAllWritten(const std::u16string& prefix, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string number = std::to_string(i);
    const std::u16string name = prefix + u"\\K" + std::u16string(number.begin(), number.end());
    ASSERT_EQ(QueryAt(name.c_str(), u"n"), name);
  }
}

TEST_F(RegistryTest, ProcessesWritingAtOnceLoseNothing) {
  constexpr int kCount = 200;
  std::vector<pid_t> children;
  for (const char16_t* prefix : {u"First", u"Second"}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(WriteMany(prefix, kCount) ? 0 : 1);
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ExpectAllWritten(u"First", kCount);
  ExpectAllWritten(u"Second", kCount);
  EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(RegistryTest, ThreadsWritingAtOnceLoseNothing) {
  constexpr int kCount = 50;
  const std::vector<std::u16string> prefixes = {u"T0", u"T1", u"T2", u"T3"};
  std::vector<std::thread> threads;
  bool succeeded[4] = {};
  for (size_t i = 0; i < prefixes.size(); ++i) {
    threads.emplace_back([&, i] { succeeded[i] = WriteMany(prefixes[i], kCount); });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t i = 0; i < prefixes.size(); ++i) {
    EXPECT_TRUE(succeeded[i]);
    ExpectAllWritten(prefixes[i], kCount);
  }
}

}  // namespace
