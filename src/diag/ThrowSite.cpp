#include "diag/ThrowSite.h"

#if defined(__linux__) && defined(__GLIBC__)
#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>
#endif

namespace paddock {

namespace {

struct TCodeRange {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
};

thread_local std::uintptr_t lastThrow = 0;

#if defined(__linux__) && defined(__GLIBC__)
int firstObject(dl_phdr_info* info, std::size_t, void* data)
{
    // The first object is the program itself.
    auto* range = static_cast<TCodeRange*>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X)) {
            range->start = info->dlpi_addr + segment.p_vaddr;
            range->end = range->start + segment.p_memsz;
            break;
        }
    }
    return 1;
}
#endif

const TCodeRange& codeRange()
{
    static const TCodeRange range = [] {
        TCodeRange r;
#if defined(__linux__) && defined(__GLIBC__)
        dl_iterate_phdr(firstObject, &r);
#endif
        return r;
    }();
    return range;
}

bool inProgram(std::uintptr_t address)
{
    const TCodeRange& r = codeRange();
    return address > r.start && address <= r.end;
}

} // namespace

std::uintptr_t LastThrowAddress()
{
    return lastThrow;
}

std::uintptr_t ProgramCodeStart()
{
    return codeRange().start;
}

std::uintptr_t ProgramCodeEnd()
{
    return codeRange().end;
}

} // namespace paddock

#if defined(__linux__) && defined(__GLIBC__)
// The runtime's own throw, taken over to record where each throw comes from:
// the return address of this call lies just after the call instruction (so
// one byte before it is the throw itself); for a throw inside a library, the
// first return address on the stack that lies in the program.
extern "C" [[noreturn]] void __cxa_throw(void* thrownException, void* typeInfo, void (*destructor)(void*))
{
    using TThrow = void (*)(void*, void*, void (*)(void*));
    auto site = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    if (!paddock::inProgram(site)) {
        void* frames[32];
        const int count = backtrace(frames, 32);
        site = 0;
        for (int i = 1; i < count; ++i) {
            const auto frame = reinterpret_cast<std::uintptr_t>(frames[i]);
            if (paddock::inProgram(frame)) {
                site = frame;
                break;
            }
        }
    }
    paddock::lastThrow = site ? site - 1 : 0;
    static const auto next = reinterpret_cast<TThrow>(dlsym(RTLD_NEXT, "__cxa_throw"));
    next(thrownException, typeInfo, destructor);
    __builtin_unreachable();
}
#endif
