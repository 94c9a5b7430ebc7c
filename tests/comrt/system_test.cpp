// System services: the file a module came from, and the thread locale scope.
#include "comrt/system.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <locale.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "comrt/runtime.h"
#include "comrt/text_conversion.h"

namespace {

std::string RealPath(const char* path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) ? std::string(resolved) : std::string();
}

std::string FileOf(HMODULE module) {
  char16_t path[PATH_MAX];
  const DWORD length = GetModuleFileNameW(module, path, PATH_MAX);
  return comrt::ToUtf8(std::u16string(path, length));
}

TEST(ModuleFileTest, NamesTheHostProgramAndALibraryLoadedByARelativeName) {
  EXPECT_EQ(RealPath("/proc/self/exe"), FileOf(nullptr));

  const std::string full = RealPath(TEST_SERVER_PATH);
  char previous[PATH_MAX];
  ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
  ASSERT_EQ(0, chdir(full.substr(0, full.rfind('/')).c_str()));
  void* handle = dlopen(("./" + full.substr(full.rfind('/') + 1)).c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_EQ(0, chdir(previous));
  ASSERT_NE(nullptr, handle);
  HMODULE module = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(dlsym(handle, "DllGetClassObject")), &module));
  EXPECT_EQ(full, FileOf(module));
  dlclose(handle);
}

TEST(ModuleFileTest, ShortBuffersAndBadArgumentsFailAsDocumented) {
  const std::string full = FileOf(nullptr);
  char16_t small[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(4u, GetModuleFileNameW(nullptr, small, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(comrt::FromUtf8(full.substr(0, 3)), std::u16string(small));

  HMODULE module = reinterpret_cast<HMODULE>(1);
  EXPECT_FALSE(GetModuleHandleExW(0, u"libcomrt.so", &module));  // by name: not offered
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, module);
  static const int kInTheProgram = 0;
  int onTheStack = 0;
  EXPECT_FALSE(
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&onTheStack), &module));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&kInTheProgram),
                                 &module));  // a static lies in the program's own image
  EXPECT_EQ(full, FileOf(module));
}

TEST(ThreadLocaleScopeTest, SetsTheClassicLocaleAndGivesTheThreadItsOwnBack) {
  locale_t own = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0));
  ASSERT_NE(static_cast<locale_t>(0), own);
  uselocale(own);
  {
    comrt::ThreadLocaleScope scope(LOCALE_SYSTEM_DEFAULT);
    const locale_t inside = uselocale(static_cast<locale_t>(0));
    EXPECT_NE(own, inside);
    EXPECT_NE(LC_GLOBAL_LOCALE, inside);
    {
      comrt::ThreadLocaleScope global(LOCALE_USER_DEFAULT);
      EXPECT_EQ(LC_GLOBAL_LOCALE, uselocale(static_cast<locale_t>(0)));
    }
    EXPECT_EQ(inside, uselocale(static_cast<locale_t>(0)));
  }
  EXPECT_EQ(own, uselocale(static_cast<locale_t>(0)));
  uselocale(LC_GLOBAL_LOCALE);
  freelocale(own);
}

}  // namespace
