// A libFuzzer program for one target; PADDOCK_FUZZ_ENTRY names its entry.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return paddock::fuzz::PADDOCK_FUZZ_ENTRY(data, size);
}
