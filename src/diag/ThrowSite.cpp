#include "diag/ThrowSite.h"

#if defined(__linux__) && defined(__GLIBC__)
#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>

#include <cstring>
#include <mutex>
#define PADDOCK_THROW_SITES 1
#elif defined(_WIN32) && defined(__GLIBCXX__)
// MinGW-w64 with its C++ runtime linked statically: the linker hands every
// call of __cxa_throw to __wrap___cxa_throw below (-Wl,--wrap=__cxa_throw).
#include <windows.h>

#include <cstring>
#include <mutex>
#define PADDOCK_THROW_SITES 1
#define PADDOCK_WRAPPED_THROW 1
#endif

namespace paddock {

namespace {

struct TCodeRange {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
};

#if defined(PADDOCK_THROW_SITES) && !defined(PADDOCK_WRAPPED_THROW)
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
#if defined(PADDOCK_WRAPPED_THROW)
        // The program's image as loaded (wherever the system placed it) and
        // its first executable section: the image base plus the code
        // section's address.
        const auto* image = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
        for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
            if (section->Characteristics & IMAGE_SCN_MEM_EXECUTE) {
                r.start = reinterpret_cast<std::uintptr_t>(image) + section->VirtualAddress;
                r.end = r.start + section->Misc.VirtualSize;
                break;
            }
        }
#elif defined(PADDOCK_THROW_SITES)
        dl_iterate_phdr(firstObject, &r);
#endif
        return r;
    }();
    return range;
}

#ifdef PADDOCK_THROW_SITES
bool inProgram(std::uintptr_t address)
{
    const TCodeRange& r = codeRange();
    return address > r.start && address <= r.end;
}

// The throw sites of the exception objects that are alive, each with the
// destructor the runtime was given for its object. A throw must not
// allocate, so the table has a fixed room; an object thrown while it is
// full gets no site. Entries go when their objects are destroyed.
using TDestructor = void (*)(void*);
struct TSite {
    void* object = nullptr;
    std::uintptr_t site = 0;
    TDestructor destructor = nullptr;
};
constexpr std::size_t SiteRoom = 4096;
std::mutex sitesLock;
TSite sites[SiteRoom];
std::size_t siteCount = 0;

bool rememberSite(void* object, std::uintptr_t site, TDestructor destructor)
{
    const std::lock_guard lock(sitesLock);
    if (siteCount == SiteRoom)
        return false;
    sites[siteCount++] = {object, site, destructor};
    return true;
}

// The destructor the runtime gets for an object whose site is kept: the
// site goes with the object.
void forgetSite(void* object)
{
    TDestructor destructor = nullptr;
    {
        const std::lock_guard lock(sitesLock);
        for (std::size_t i = 0; i < siteCount; ++i) {
            if (sites[i].object == object) {
                destructor = sites[i].destructor;
                sites[i] = sites[--siteCount];
                break;
            }
        }
    }
    if (destructor)
        destructor(object);
}

// The thrown object an exception_ptr refers to: the runtime's exception_ptr
// is that one pointer.
void* objectOf(const std::exception_ptr& error)
{
    static_assert(sizeof(std::exception_ptr) == sizeof(void*), "an exception_ptr is the thrown object's address");
    void* object = nullptr;
    std::memcpy(&object, static_cast<const void*>(&error), sizeof object);
    return object;
}
#endif

} // namespace

std::uintptr_t ThrowAddress(const std::exception_ptr& error)
{
#ifdef PADDOCK_THROW_SITES
    if (!error)
        return 0;
    void* const object = objectOf(error);
    const std::lock_guard lock(sitesLock);
    for (std::size_t i = 0; i < siteCount; ++i)
        if (sites[i].object == object)
            return sites[i].site;
#else
    (void)error;
#endif
    return 0;
}

std::uintptr_t CurrentThrowAddress()
{
    return ThrowAddress(std::current_exception());
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

#if defined(PADDOCK_WRAPPED_THROW)
extern "C" [[noreturn]] void __real___cxa_throw(void* thrownException, void* typeInfo, void (*destructor)(void*));

// Every throw of the program, the runtime's own included (it is linked in):
// the return address of this call lies just after the call instruction, so
// one byte before it is the throw itself. The site is kept with the thrown
// object until the runtime destroys it.
extern "C" [[noreturn]] void __wrap___cxa_throw(void* thrownException, void* typeInfo, void (*destructor)(void*))
{
    const auto site = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    if (paddock::inProgram(site) && paddock::rememberSite(thrownException, site - 1, destructor))
        destructor = paddock::forgetSite;
    __real___cxa_throw(thrownException, typeInfo, destructor);
}
#elif defined(PADDOCK_THROW_SITES)
// The runtime's own throw, taken over to record where each throw comes from:
// the return address of this call lies just after the call instruction (so
// one byte before it is the throw itself); for a throw inside a library, the
// first return address on the stack that lies in the program. The site is
// kept with the thrown object until the runtime destroys it.
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
    if (site && paddock::rememberSite(thrownException, site - 1, destructor))
        destructor = paddock::forgetSite;
    static const auto next = reinterpret_cast<TThrow>(dlsym(RTLD_NEXT, "__cxa_throw"));
    next(thrownException, typeInfo, destructor);
    __builtin_unreachable();
}
#endif
