// The text of the error report: the exception's message, the address it was
// thrown at, in full and relative to the program's code, the version, the
// program folder and, from DebugInfo.EIF, the source unit, the function and
// the source lines at that address.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace paddock {

// What went wrong, in plain words for a player, ahead of the report: for a
// file that could not be read or written its name and the reason ("Could
// not read TRUNC.GP4: the file ends before its 7 shapes in the shape
// headers."), on a line of its own the file's full path; for any other
// failure its message. The report below it keeps every detail.
std::string PlainErrorMessage(std::exception_ptr error);

// One line each; the line-number item's parts are lines of their own. An
// address of 0 is an unknown one: the address lines and the source items
// say "Unknown", and nothing is looked up.
std::vector<std::string> ComposeErrorReport(const std::string& message, std::uint64_t address,
                                            std::uint64_t codeStart, const std::string& programPath,
                                            const std::string& debugInfoPath);

} // namespace paddock
