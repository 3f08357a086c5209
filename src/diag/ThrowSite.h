// Where an exception was thrown: every C++ throw of the program records the
// code address it came from, so that the error report can name it.
#pragma once

#include <cstdint>

namespace paddock {

// The address of the instruction that threw the last exception on this
// thread, inside the program's own code: a throw inside a library counts as
// coming from the program's code that called into it. 0 when unknown.
std::uintptr_t LastThrowAddress();

// Where the running program's code starts (its first executable segment, as
// loaded) and ends. Code offsets in the link map count from that start.
std::uintptr_t ProgramCodeStart();
std::uintptr_t ProgramCodeEnd();

} // namespace paddock
