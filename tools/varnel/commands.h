// The commands of `varnel`. Each takes the arguments after its name and
// returns the exit status, or throws ToolFailure.
#pragma once

#include <string>
#include <vector>

namespace varnel_tool {

int RunDemo(const std::vector<std::string>& arguments);
int RunDecode(const std::vector<std::string>& arguments);
int RunEncode(const std::vector<std::string>& arguments);
int RunInvoke(const std::vector<std::string>& arguments);
int RunQuery(const std::vector<std::string>& arguments);
int RunServe(const std::vector<std::string>& arguments);

}  // namespace varnel_tool
