// Where per-log files go, from the location text of the File factory.
#pragma once

#include <string>

namespace opLogSys {

// The folder named by `location`, with its trailing "/" (exact,
// case-sensitive comparisons):
//   "desktop"            the user's desktop folder, made when missing;
//   "current" or empty   `executableFolder`;
//   "." and more         `executableFolder` joined with the text, made with
//                        its missing parents when needed;
//   anything else        that folder (at most 259 characters are taken), or
//                        the folder holding it when it names a file.
// Whatever names no usable folder gives `executableFolder` (the host
// program's folder, with its trailing "/").
std::u16string ResolveLogFolder(const std::u16string& location, const std::u16string& executableFolder);

// `folder` + `relative`, with "." steps dropped and ".." steps taking the
// folder before them away.
std::u16string JoinPath(const std::u16string& folder, const std::u16string& relative);

}  // namespace opLogSys
