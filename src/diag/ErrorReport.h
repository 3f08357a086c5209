// The text of the error report: the exception's message, the address it was
// thrown at, in full and relative to the program's code, the version, the
// program folder and, from DebugInfo.EIF, the source unit, the function and
// the source lines at that address.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace paddock {

// One line each; the line-number item's parts are lines of their own. An
// address of 0 is an unknown one: the address lines and the source items
// say "Unknown", and nothing is looked up.
std::vector<std::string> ComposeErrorReport(const std::string& message, std::uint64_t address,
                                            std::uint64_t codeStart, const std::string& programPath,
                                            const std::string& debugInfoPath);

} // namespace paddock
