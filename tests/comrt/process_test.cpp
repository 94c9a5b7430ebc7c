// The process and its surroundings: ids, times, the desktop folder, the
// debug-string channel and bounded narrow text.
#include "comrt/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>

#include "comrt/result_codes.h"
#include "comrt/runtime.h"
#include "comrt/synchronization.h"
#include "comrt/text_conversion.h"

namespace {

// Sets an environment variable (null: unsets it) for the object's life.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* previous = getenv(name)) previous_ = previous, hadPrevious_ = true;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedVariable() { hadPrevious_ ? setenv(name_, previous_.c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::string previous_;
  bool hadPrevious_ = false;
};

uint64_t Ticks(const FILETIME& time) { return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime; }

FILETIME FileTime(uint64_t ticks) { return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }

std::tuple<int, int, int, int, int, int, int, int> Fields(const SYSTEMTIME& t) {
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek};
}

uint64_t CreationTicks() {
  FILETIME creation{}, exit{}, kernel{}, user{};
  EXPECT_TRUE(GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user));
  EXPECT_EQ(0u, Ticks(exit) + Ticks(kernel) + Ticks(user));
  return Ticks(creation);
}

uint64_t NowTicks() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

TEST(ProcessTest, IdsAreTheKernelsAndStayPut) {
  EXPECT_EQ(static_cast<DWORD>(getpid()), GetCurrentProcessId());
  EXPECT_EQ(GetCurrentProcessId(), GetCurrentProcessId());
  const DWORD thread = GetCurrentThreadId();
  EXPECT_EQ(static_cast<DWORD>(syscall(SYS_gettid)), thread);
  EXPECT_EQ(thread, GetCurrentThreadId());
  DWORD other = 0;
  std::thread([&other] { other = GetCurrentThreadId(); }).join();
  EXPECT_NE(0u, other);
  EXPECT_NE(thread, other);
}

TEST(ProcessTest, CreationTimeIsFixedAndNotLaterThanNowInEveryProcess) {
  const uint64_t creation = CreationTicks();
  EXPECT_EQ(creation, CreationTicks());
  EXPECT_LE(creation, NowTicks());
  EXPECT_GT(creation, 125911584000000000ull);  // 2000-01-01

  // A child is younger, and must not answer with the parent's remembered time.
  usleep(50000);
  int status = 0;
  const pid_t child = fork();
  if (child == 0) {
    const uint64_t own = CreationTicks();
    _exit(own > creation && own == CreationTicks() && own <= NowTicks() ? 0 : 1);
  }
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  FILETIME a{}, b{}, c{}, d{};
  EXPECT_FALSE(GetProcessTimes(reinterpret_cast<HANDLE>(0x1000), &a, &b, &c, &d));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(GetProcessTimes(GetCurrentProcess(), &a, nullptr, &c, &d));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(ProcessTest, TimesConvertToCalendarFieldsInTheZoneOfTheirInstant) {
  // 2024-02-29 13:45:30.123 UTC, a Thursday.
  const uint64_t leapDay = 116444736000000000ull + 1709214330123ull * 10000;
  SYSTEMTIME fields{};
  FILETIME time = FileTime(leapDay);
  ASSERT_TRUE(FileTimeToSystemTime(&time, &fields));
  EXPECT_EQ(std::make_tuple(2024, 2, 29, 13, 45, 30, 123, 4), Fields(fields));
  time = FileTime(0);
  ASSERT_TRUE(FileTimeToSystemTime(&time, &fields));
  EXPECT_EQ(std::make_tuple(1601, 1, 1, 0, 0, 0, 0, 1), Fields(fields));
  time = FileTime(0x7FFFFFFFFFFFFFFFull);
  ASSERT_TRUE(FileTimeToSystemTime(&time, &fields));
  EXPECT_EQ(std::make_tuple(30828, 9, 14, 2, 48, 5, 477, 4), Fields(fields));
  time = FileTime(0x8000000000000000ull);
  EXPECT_FALSE(FileTimeToSystemTime(&time, &fields));

  FILETIME local{};
  {
    // Central European rules written out, so no zone database is needed.
    ScopedVariable zone("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    time = FileTime(leapDay);
    ASSERT_TRUE(FileTimeToLocalFileTime(&time, &local));
    EXPECT_EQ(leapDay + 3600ull * 10000000, Ticks(local));
    const uint64_t midsummer = leapDay + 120ull * 86400 * 10000000;
    time = FileTime(midsummer);
    ASSERT_TRUE(FileTimeToLocalFileTime(&time, &local));
    EXPECT_EQ(midsummer + 7200ull * 10000000, Ticks(local));
  }
  {
    ScopedVariable zone("TZ", "UTC");
    time = FileTime(leapDay);
    ASSERT_TRUE(FileTimeToLocalFileTime(&time, &local));
    EXPECT_EQ(leapDay, Ticks(local));
  }
  tzset();
}

TEST(ProcessTest, LocalTimeLiesBetweenTwoReadingsOfTheClock) {
  ScopedVariable zone("TZ", "UTC");
  FILETIME before{}, after{};
  SYSTEMTIME local{}, earliest{}, latest{};
  GetSystemTimeAsFileTime(&before);
  GetLocalTime(&local);
  GetSystemTimeAsFileTime(&after);
  ASSERT_TRUE(FileTimeToSystemTime(&before, &earliest));
  ASSERT_TRUE(FileTimeToSystemTime(&after, &latest));
  const auto withoutWeekday = [](const SYSTEMTIME& t) {
    return std::make_tuple(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  };
  EXPECT_LE(withoutWeekday(earliest), withoutWeekday(local));
  EXPECT_LE(withoutWeekday(local), withoutWeekday(latest));
  EXPECT_TRUE(local.wDayOfWeek == earliest.wDayOfWeek || local.wDayOfWeek == latest.wDayOfWeek);
}

class DesktopFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/comrt-desktop-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    root_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  HRESULT Desktop(int folder, std::string* path) {
    char16_t wide[MAX_PATH] = {u'?'};
    const HRESULT result = SHGetFolderPathW(nullptr, folder, nullptr, 0, wide);
    *path = comrt::ToUtf8(wide);
    return result;
  }

  std::string root_;
};

TEST_F(DesktopFolderTest, ConfiguredFolderIsMadeOnlyWhenAskedFor) {
  const std::string configured = root_ + "/not/yet/Desk";
  ScopedVariable desktop("XDG_DESKTOP_DIR", (configured + "/").c_str());
  std::string path = "?";
  EXPECT_EQ(E_FAIL, Desktop(CSIDL_DESKTOPDIRECTORY, &path));
  EXPECT_EQ("", path);
  EXPECT_EQ(S_OK, Desktop(CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, &path));
  EXPECT_EQ(configured, path);
  EXPECT_TRUE(std::filesystem::is_directory(configured));
  EXPECT_EQ(S_OK, Desktop(CSIDL_DESKTOPDIRECTORY, &path));
}

TEST_F(DesktopFolderTest, HomeFolderServesWhenNoneIsConfigured) {
  ScopedVariable desktop("XDG_DESKTOP_DIR", nullptr);
  ScopedVariable home("HOME", root_.c_str());
  std::string path;
  EXPECT_EQ(S_OK, Desktop(CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, &path));
  EXPECT_EQ(root_ + "/Desktop", path);
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST_F(DesktopFolderTest, RefusesOtherFoldersAndPathsTooLongToHandBack) {
  std::string path;
  EXPECT_EQ(E_INVALIDARG, Desktop(0x0005 | CSIDL_FLAG_CREATE, &path));
  EXPECT_EQ(E_INVALIDARG, SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, nullptr));
  std::string tooLong = root_;
  while (tooLong.size() < MAX_PATH) tooLong += "/deeper";
  ScopedVariable desktop("XDG_DESKTOP_DIR", tooLong.c_str());
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), Desktop(CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, &path));
  EXPECT_FALSE(std::filesystem::exists(root_ + "/deeper"));
}

TEST(DebugStringTest, EachCallIsOneWriteToStandardError) {
  int channel[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_SEQPACKET, 0, channel));  // keeps the bounds of each write
  const int savedError = dup(STDERR_FILENO);
  dup2(channel[0], STDERR_FILENO);
  OutputDebugStringW(u"caf\u00e9 \U0001F600 line\n");
  OutputDebugStringW(nullptr);
  OutputDebugStringW(u"second");
  dup2(savedError, STDERR_FILENO);
  close(savedError);
  char message[256];
  ssize_t length = recv(channel[1], message, sizeof message, MSG_DONTWAIT);
  EXPECT_EQ("caf\xC3\xA9 \xF0\x9F\x98\x80 line\n", std::string(message, length > 0 ? length : 0));
  length = recv(channel[1], message, sizeof message, MSG_DONTWAIT);
  EXPECT_EQ("second", std::string(message, length > 0 ? length : 0));
  EXPECT_GT(0, recv(channel[1], message, sizeof message, MSG_DONTWAIT));
  close(channel[0]);
  close(channel[1]);
}

TEST(ToUtf8BoundedTest, CutsOnlyBetweenCharacters) {
  // 'a', then 2-, 3- and 4-byte characters (the last a surrogate pair), then 'b':
  // whole characters end after byte 1, 3, 6, 10 and 11.
  const std::u16string text = u"a\u00e9\u20ac\U0001F600b";
  const size_t ends[] = {0, 1, 1, 3, 3, 3, 6, 6, 6, 6, 10, 11, 11};
  const std::string whole = comrt::ToUtf8(text);
  for (size_t limit = 0; limit < sizeof ends / sizeof ends[0]; ++limit) {
    EXPECT_EQ(whole.substr(0, ends[limit]), comrt::ToUtf8Bounded(text, limit)) << limit;
  }
  EXPECT_EQ("a", comrt::ToUtf8Bounded(u"a\U0001F600", 2));      // a pair split by the unit count
  EXPECT_EQ("ab", comrt::ToUtf8Bounded(u"ab\xD800", 4));       // a lone surrogate is U+FFFD, 3 bytes
  EXPECT_EQ("ab\xEF\xBF\xBD", comrt::ToUtf8Bounded(u"ab\xD800", 5));
}

}  // namespace
