// The help of `varnel` and of each of its commands; the man page is made
// from the whole of it.
#pragma once

#include <string>
#include <string_view>

namespace varnel_tool {

// The help of `command` ("decode", ...); empty for an unknown command.
std::string CommandHelp(std::string_view command);
// The overview, followed by every command's help, the environment and the
// exit statuses.
std::string FullHelp();
// "varnel 0.1.0".
std::string VersionText();

}  // namespace varnel_tool
