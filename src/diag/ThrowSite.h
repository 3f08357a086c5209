// Where an exception was thrown: every C++ throw of the program records the
// code address it came from with the exception object itself, so that the
// error report can name it wherever and however often the exception is
// caught and thrown on.
#pragma once

#include <cstdint>
#include <exception>

namespace paddock {

// The address of the instruction that threw the exception, inside the
// program's own code: a throw inside a shared library counts as coming from
// the program's code that called into it (on Windows the C++ runtime and Qt
// are linked into the program, and a throw of theirs is their own). The address belongs to the exception
// object, so it stays the same when the exception is rethrown with "throw;",
// kept in an exception_ptr and rethrown on another thread, or caught after
// other exceptions were thrown and caught meanwhile. 0 when unknown (no
// exception, one that was never thrown, or a platform without the record).
std::uintptr_t ThrowAddress(const std::exception_ptr& error);
// ThrowAddress of the exception being handled.
std::uintptr_t CurrentThrowAddress();

// Where the running program's code starts (its first executable segment, as
// loaded: on Windows the image base plus the code section's address) and
// ends. Code offsets in the link map count from that start.
std::uintptr_t ProgramCodeStart();
std::uintptr_t ProgramCodeEnd();

} // namespace paddock
