// A store that cannot be used answers every call with a code and is left
// exactly as it was, with no temporary file beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "comrt/registry.h"
#include "comrt/result_codes.h"
#include "registry_fixture.h"

namespace {

using RegistryStoreFaultTest = RegistryFixture;

constexpr char kGoodStore[] =
    "comrt registry 1\n"
    "\"v\"=\"x\"\n"
    "\n[A]\n";
constexpr char kWithNul[] = "comrt registry 1\n[A]\n\"v\"=\"nul\0\"\n";

// The codes of every read and every change through the root.
struct Codes {
  std::vector<LONG> reads;
  std::vector<LONG> changes;
};

Codes EveryOperation() {
  Codes codes;
  HKEY key = nullptr;
  codes.reads.push_back(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"A", 0, KEY_READ, &key));
  if (key) RegCloseKey(key);
  DWORD bytes = 0;
  codes.reads.push_back(RegQueryValueExW(HKEY_CLASSES_ROOT, u"v", nullptr, nullptr, nullptr, &bytes));
  char16_t name[16];
  DWORD chars = 16;
  codes.reads.push_back(RegEnumKeyExW(HKEY_CLASSES_ROOT, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
  chars = 16;
  codes.reads.push_back(RegEnumValueW(HKEY_CLASSES_ROOT, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));

  key = nullptr;
  codes.changes.push_back(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"New", 0, nullptr, 0, 0, nullptr, &key, nullptr));
  if (key) RegCloseKey(key);
  codes.changes.push_back(SetText(HKEY_CLASSES_ROOT, u"v", u"changed"));
  codes.changes.push_back(RegDeleteValueW(HKEY_CLASSES_ROOT, u"v"));
  codes.changes.push_back(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"A"));
  codes.changes.push_back(RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr));
  return codes;
}

TEST_F(RegistryStoreFaultTest, CorruptStoreAnswersBadDbToEveryCall) {
  const std::vector<std::string> corrupt = {
      "",
      "\xEF\xBB\xBF" "comrt registry 1\n",
      "comrt registry 2\n",
      "comrt registry 1\n[A\n",
      "comrt registry 1\n[]\n",
      "comrt registry 1\n[A\\\\B]\n",
      "comrt registry 1\n[A]\n[a]\n",
      "comrt registry 1\n[A]\n\"v\"=\"1\"\n\"V\"=\"2\"\n",
      "comrt registry 1\n[A]\nv=\"x\"\n",
      "comrt registry 1\n[A]\n\"v\"\n",
      "comrt registry 1\n[A]\n\"v\"=\"unterminated\n",
      "comrt registry 1\n[A]\n\"v\"=\"bad \\q escape\"\n",
      "comrt registry 1\n[A]\n\"v\"=\"\\u12\"\n",
      "comrt registry 1\n[A]\n\"v\"=\"x\" trailing\n",
      "comrt registry 1\n[A]\n\"\"=\"empty name\"\n",
      "comrt registry 1\n[\xC3\x28]\n",
      "comrt registry 1\n[A]\n\"v\"=\"\xED\xA0\x80\"\n",
      std::string(kWithNul, sizeof kWithNul - 1),
  };
  for (const std::string& text : corrupt) {
    SCOPED_TRACE(text);
    WriteStore(text);
    const Codes codes = EveryOperation();
    for (LONG code : codes.reads) EXPECT_EQ(code, ERROR_BADDB);
    for (LONG code : codes.changes) EXPECT_EQ(code, ERROR_BADDB);
    EXPECT_EQ(StoreText(), text);
    EXPECT_TRUE(StrayFiles().empty());
  }
}

TEST_F(RegistryStoreFaultTest, StoreWithoutReadBitsIsClosedToEveryone) {
  WriteStore(kGoodStore);
  ASSERT_EQ(::chmod(store_.c_str(), 0200), 0);
  const Codes codes = EveryOperation();
  for (LONG code : codes.reads) EXPECT_EQ(code, ERROR_ACCESS_DENIED);
  for (LONG code : codes.changes) EXPECT_EQ(code, ERROR_ACCESS_DENIED);
  ASSERT_EQ(::chmod(store_.c_str(), 0600), 0);
  EXPECT_EQ(StoreText(), kGoodStore);
  EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(RegistryStoreFaultTest, StoreWithoutWriteBitsCanOnlyBeRead) {
  WriteStore(kGoodStore);
  ASSERT_EQ(::chmod(store_.c_str(), 0444), 0);
  const Codes codes = EveryOperation();
  for (LONG code : codes.reads) EXPECT_EQ(code, ERROR_SUCCESS);
  for (LONG code : codes.changes) EXPECT_EQ(code, ERROR_ACCESS_DENIED);
  EXPECT_EQ(QueryText(HKEY_CLASSES_ROOT, u"v"), u"x");

  // Opening an existing key through the create call changes nothing, so it
  // is no write.
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"a", 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(SetText(key, u"v", u"y"), ERROR_ACCESS_DENIED);
  RegCloseKey(key);

  struct stat info {};
  ASSERT_EQ(::stat(store_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0444u);
  EXPECT_EQ(StoreText(), kGoodStore);
  EXPECT_TRUE(StrayFiles().empty());
}

TEST_F(RegistryStoreFaultTest, StoreThatIsAFolderCannotBeRead) {
  ASSERT_EQ(::mkdir(store_.c_str(), 0755), 0);
  const Codes codes = EveryOperation();
  for (LONG code : codes.reads) EXPECT_EQ(code, ERROR_CANTREAD);
  for (LONG code : codes.changes) EXPECT_EQ(code, ERROR_CANTREAD);
}

TEST_F(RegistryStoreFaultTest, RewriteKeepsTheStoreMode) {
  WriteStore(kGoodStore);
  ASSERT_EQ(::chmod(store_.c_str(), 0640), 0);
  ASSERT_EQ(SetText(HKEY_CLASSES_ROOT, u"v", u"x"), ERROR_SUCCESS);
  struct stat info {};
  ASSERT_EQ(::stat(store_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(RegistryStoreFaultTest, FailedWriteLeavesTheStoreAndNoTemporaryFile) {
  WriteStore(kGoodStore);
  // A child whose files may not grow past 1 KiB: writing the new store fails
  // part-way, as on a full disk.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {1024, 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const LONG code = SetText(HKEY_CLASSES_ROOT, u"big", std::u16string(4000, u'x'));
    ::_exit(code == ERROR_CANTWRITE ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(StoreText(), kGoodStore);
  EXPECT_TRUE(StrayFiles().empty());
}

}  // namespace
