#include "log/log_location.h"

#include <errno.h>
#include <sys/stat.h>

#include <vector>

#include "comrt/process.h"
#include "comrt/result_codes.h"
#include "log/posix_file.h"

namespace opLogSys {
namespace {

constexpr size_t kMostLocationCharacters = MAX_PATH - 1;

std::u16string WithTrailingSlash(std::u16string folder) {
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  return folder;
}

// Makes `folder` and its missing parents; true when it exists as a folder
// afterwards.
bool MakeFolders(const std::u16string& folder) {
  const std::string path = NativePath(folder);
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string step = path.substr(0, slash);
    if (!step.empty() && ::mkdir(step.c_str(), 0777) != 0 && errno != EEXIST) break;
    if (slash == std::string::npos) break;
  }
  return KindOf(folder) == PathKind::kDirectory;
}

std::u16string DesktopFolder() {
  char16_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, nullptr, 0, path)) || !path[0]) {
    return std::u16string();
  }
  return WithTrailingSlash(path);
}

}  // namespace

std::u16string JoinPath(const std::u16string& folder, const std::u16string& relative) {
  const std::u16string whole = folder + u"/" + relative;
  std::vector<std::u16string> steps;
  size_t start = 0;
  while (start <= whole.size()) {
    size_t end = whole.find(u'/', start);
    if (end == std::u16string::npos) end = whole.size();
    const std::u16string step = whole.substr(start, end - start);
    if (step == u"..") {
      if (!steps.empty()) steps.pop_back();
    } else if (!step.empty() && step != u".") {
      steps.push_back(step);
    }
    start = end + 1;
  }
  std::u16string joined = whole.empty() || whole[0] != u'/' ? u"" : u"/";
  for (size_t i = 0; i < steps.size(); ++i) joined += (i ? u"/" : u"") + steps[i];
  return joined.empty() ? u"/" : joined;
}

std::u16string ResolveLogFolder(const std::u16string& location, const std::u16string& executableFolder) {
  std::u16string folder;
  if (location == u"desktop") {
    folder = DesktopFolder();
  } else if (location.empty() || location == u"current") {
    folder = executableFolder;
  } else if (location[0] == u'.') {
    const std::u16string joined = JoinPath(executableFolder, location);
    if (MakeFolders(joined)) folder = WithTrailingSlash(joined);
  } else {
    std::u16string path = location.substr(0, kMostLocationCharacters);
    if (path.size() > 1 && path.back() == u'/') path.pop_back();
    switch (KindOf(path)) {
      case PathKind::kDirectory:
        folder = WithTrailingSlash(path);
        break;
      case PathKind::kOther: {
        const size_t slash = path.rfind(u'/');
        // A bare file name lies in the current folder.
        folder = slash == std::u16string::npos ? u"./" : path.substr(0, slash + 1);
        break;
      }
      case PathKind::kMissing:
        break;
    }
  }
  return folder.empty() ? executableFolder : folder;
}

}  // namespace opLogSys
