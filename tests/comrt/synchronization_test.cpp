// Critical sections, and mutexes within a process and across processes.
#include "comrt/synchronization.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "comrt/process.h"
#include "comrt/runtime.h"

namespace {

// Runs `body` in another thread and gives back what it returned.
template <class Body>
auto OnAnotherThread(Body body) -> decltype(body()) {
  decltype(body()) result{};
  std::thread([&] { result = body(); }).join();
  return result;
}

// Runs `body` in a forked child, whose exit code is what `body` returns.
pid_t InChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int ExitCodeOf(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(CriticalSectionTest, OwnerEntersAgainAndOthersWaitForTheLastLeave) {
  CRITICAL_SECTION section;
  ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&section, 4000));
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  const auto othersMayEnter = [&section] {
    if (!TryEnterCriticalSection(&section)) return false;
    LeaveCriticalSection(&section);
    return true;
  };
  EXPECT_FALSE(OnAnotherThread(othersMayEnter));
  LeaveCriticalSection(&section);
  EXPECT_FALSE(OnAnotherThread(othersMayEnter));
  LeaveCriticalSection(&section);
  EXPECT_TRUE(OnAnotherThread(othersMayEnter));

  long counter = 0;  // plain: only the section keeps the increments whole
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&section);
        EnterCriticalSection(&section);
        ++counter;
        LeaveCriticalSection(&section);
        LeaveCriticalSection(&section);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(80000, counter);
  DeleteCriticalSection(&section);
}

// Each test gets a lock-file folder of its own under a fresh XDG_RUNTIME_DIR.
class MutexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/comrt-sync-test-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    runtime_ = pattern;
    if (const char* previous = getenv("XDG_RUNTIME_DIR")) previous_ = previous, hadPrevious_ = true;
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  void TearDown() override {
    if (hadPrevious_) {
      setenv("XDG_RUNTIME_DIR", previous_.c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
    std::error_code ignored;
    std::filesystem::remove_all(runtime_, ignored);
  }

  std::string LockFolder() const { return runtime_ + "/comrt-mutex"; }

  std::set<std::string> LockFiles() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(LockFolder())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  std::string runtime_;
  std::string previous_;
  bool hadPrevious_ = false;
};

TEST_F(MutexTest, OwnerRecursesAndNoOtherThreadMayRelease) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, u"recursion");
  ASSERT_NE(nullptr, mutex);
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());

  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, INFINITE));
  EXPECT_EQ(WAIT_TIMEOUT, OnAnotherThread([mutex] { return WaitForSingleObject(mutex, 20); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), OnAnotherThread([mutex] {
              return ReleaseMutex(mutex) ? ERROR_SUCCESS : GetLastError();
            }));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WAIT_TIMEOUT, OnAnotherThread([mutex] { return WaitForSingleObject(mutex, 0); }));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_TRUE(OnAnotherThread([mutex] { return WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0 && ReleaseMutex(mutex); }));
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(MutexTest, NameExistsWhileAHandleOfItIsOpenInTheProcess) {
  SetLastError(ERROR_ACCESS_DENIED);
  HANDLE first = CreateMutexW(nullptr, TRUE, u"exists");
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  HANDLE second = CreateMutexW(nullptr, TRUE, u"exists");  // not made its owner: the name existed
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  HANDLE opened = OpenMutexW(SYNCHRONIZE, FALSE, u"exists");
  ASSERT_NE(nullptr, opened);
  EXPECT_NE(first, second);

  // Every handle reaches the one mutex, which the first caller owns.
  EXPECT_EQ(WAIT_TIMEOUT, OnAnotherThread([opened] { return WaitForSingleObject(opened, 0); }));
  EXPECT_TRUE(ReleaseMutex(second));
  EXPECT_FALSE(ReleaseMutex(first));

  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(CloseHandle(second));
  HANDLE again = CreateMutexW(nullptr, FALSE, u"exists");
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_TRUE(CloseHandle(again));
  EXPECT_TRUE(CloseHandle(opened));

  EXPECT_EQ(nullptr, OpenMutexW(SYNCHRONIZE, FALSE, u"exists"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  HANDLE fresh = CreateMutexW(nullptr, FALSE, u"exists");
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  EXPECT_TRUE(CloseHandle(fresh));

  // Unnamed mutexes are never the same one.
  HANDLE unnamed = CreateMutexW(nullptr, TRUE, nullptr);
  HANDLE empty = CreateMutexW(nullptr, FALSE, u"");
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  EXPECT_EQ(WAIT_OBJECT_0, OnAnotherThread([empty] { return WaitForSingleObject(empty, 0); }));
  EXPECT_TRUE(CloseHandle(unnamed));
  EXPECT_TRUE(CloseHandle(empty));
}

TEST_F(MutexTest, EveryNameHasAFileOfItsOwn) {
  const std::u16string longName(1000, u'x');
  const std::vector<std::u16string> names = {
      u"a/b", u"a%2Fb", u"a:b", u"a.b", u"a_b", u".", u"..", u"C:\\logs\\trace.log",
      u"/home/user/logs/trace.log", u"a/b:c\u00e4", u"\u00e4", u"a\u00e4", u"\U0001F600", u"a\xD800", u"a\xD801",
      longName, longName + u"y", std::u16string(300, u'\u00fc')};
  std::vector<HANDLE> handles;
  for (const std::u16string& name : names) {
    handles.push_back(CreateMutexW(nullptr, FALSE, name.c_str()));
    EXPECT_NE(nullptr, handles.back());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  }
  const std::set<std::string> files = LockFiles();
  EXPECT_EQ(names.size(), files.size());
  for (const std::string& file : files) EXPECT_LE(file.size(), 255u) << file;
  // Other processes, and other builds of this library, must find the same file.
  EXPECT_EQ(1u, files.count("a%2Fb%3Ac%C3%A4.lock"));

  struct stat folder {};
  ASSERT_EQ(0, stat(LockFolder().c_str(), &folder));
  EXPECT_EQ(0700u, folder.st_mode & 0777);
  for (HANDLE handle : handles) EXPECT_TRUE(CloseHandle(handle));
}

TEST_F(MutexTest, FallsBackToTheTemporaryFolderWhenTheRuntimeFolderIsUnusable) {
  const std::string notAFolder = runtime_ + "/file";
  std::fclose(std::fopen(notAFolder.c_str(), "w"));
  setenv("XDG_RUNTIME_DIR", notAFolder.c_str(), 1);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, u"fallback");
  ASSERT_NE(nullptr, mutex);
  struct stat lockFile {};
  EXPECT_EQ(0, stat(("/tmp/comrt-mutex-" + std::to_string(geteuid()) + "/fallback.lock").c_str(), &lockFile));
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(MutexTest, ThreadsExcludeEachOther) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, u"threads");
  long counter = 0;  // plain: only the mutex keeps the increments whole
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      HANDLE own = OpenMutexW(SYNCHRONIZE, FALSE, u"threads");
      for (int i = 0; i < 2000; ++i) {
        // Timed waits too, so both ways of waiting are exercised.
        while (WaitForSingleObject(own, i % 2 ? INFINITE : 1) == WAIT_TIMEOUT) {
        }
        ++counter;
        ReleaseMutex(own);
      }
      CloseHandle(own);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(8000, counter);
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(MutexTest, ProcessesExcludeEachOther) {
  const std::string counterPath = runtime_ + "/counter";
  std::FILE* start = std::fopen(counterPath.c_str(), "w");
  std::fputs("0", start);
  std::fclose(start);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, u"/shared/counter");
  ASSERT_NE(nullptr, mutex);
  const auto increment = [&counterPath](HANDLE handle) {
    for (int i = 0; i < 300; ++i) {
      if (WaitForSingleObject(handle, INFINITE) != WAIT_OBJECT_0) return 1;
      const int fd = open(counterPath.c_str(), O_RDWR);
      char text[32] = {};
      if (fd < 0 || pread(fd, text, sizeof text - 1, 0) <= 0) return 2;
      usleep(10);  // widens the window in which a lost update would show
      const std::string next = std::to_string(std::atol(text) + 1);
      if (pwrite(fd, next.data(), next.size(), 0) != static_cast<ssize_t>(next.size())) return 3;
      close(fd);
      if (!ReleaseMutex(handle)) return 4;
    }
    return 0;
  };
  // One child uses the handle it inherited, the other opens the name afresh.
  const pid_t inherited = InChild([&] { return increment(mutex); });
  const pid_t reopened = InChild([&] {
    const int code = increment(CreateMutexW(nullptr, FALSE, u"/shared/counter"));
    return code;
  });
  EXPECT_EQ(0, increment(mutex));
  EXPECT_EQ(0, ExitCodeOf(inherited));
  EXPECT_EQ(0, ExitCodeOf(reopened));
  std::FILE* end = std::fopen(counterPath.c_str(), "r");
  long total = 0;
  ASSERT_EQ(1, std::fscanf(end, "%ld", &total));
  std::fclose(end);
  EXPECT_EQ(900, total);
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST_F(MutexTest, AChildOfTheOwnerWaitsForItAndAChildThatDiesGivesItUp) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, u"inheritance");
  ASSERT_NE(nullptr, mutex);
  int toParent[2], toChild[2];
  ASSERT_EQ(0, pipe(toParent));
  ASSERT_EQ(0, pipe(toChild));
  // The child's copy of the lock file must not let it through while the
  // parent owns the mutex; once it owns it, it dies without a release.
  const pid_t child = InChild([&] {
    if (WaitForSingleObject(mutex, 30) != WAIT_TIMEOUT) return 1;
    char go = 0;
    if (write(toParent[1], "w", 1) != 1 || read(toChild[0], &go, 1) != 1) return 2;
    if (WaitForSingleObject(mutex, 60000) != WAIT_OBJECT_0) return 3;
    if (write(toParent[1], "o", 1) != 1) return 4;
    pause();  // until killed
    return 5;
  });
  // Only the child writes to the parent, so a child that fails ends the reads.
  close(toParent[1]);
  close(toChild[0]);
  char seen = 0;
  ASSERT_EQ(1, read(toParent[0], &seen, 1)) << "child's exit code " << ExitCodeOf(child);
  EXPECT_TRUE(ReleaseMutex(mutex));
  ASSERT_EQ(1, write(toChild[1], "g", 1));
  ASSERT_EQ(1, read(toParent[0], &seen, 1)) << "child's exit code " << ExitCodeOf(child);
  EXPECT_EQ('o', seen);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(mutex, 30));
  kill(child, SIGKILL);
  EXPECT_EQ(128 + SIGKILL, ExitCodeOf(child));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 60000));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(CloseHandle(mutex));
  close(toParent[0]);
  close(toChild[1]);
}

TEST_F(MutexTest, ClosingNeverWaitsForTheOwnerAndGivesUpTheName) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, u"closed while owned");
  EXPECT_TRUE(OnAnotherThread([mutex] { return CloseHandle(mutex); }));
  HANDLE again = CreateMutexW(nullptr, FALSE, u"closed while owned");
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  EXPECT_EQ(0, ExitCodeOf(InChild([again] { return WaitForSingleObject(again, 0) == WAIT_OBJECT_0 ? 0 : 1; })));
  EXPECT_TRUE(CloseHandle(again));
}

TEST_F(MutexTest, ClosedAndMadeUpHandlesFailCleanly) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, u"closed");
  ASSERT_TRUE(CloseHandle(mutex));
  for (HANDLE bad : {mutex, static_cast<HANDLE>(nullptr), reinterpret_cast<HANDLE>(0x1234)}) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(bad, INFINITE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(ReleaseMutex(bad));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  }
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(GetCurrentProcess(), 0));
  EXPECT_EQ(nullptr, OpenMutexW(SYNCHRONIZE, FALSE, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

}  // namespace
