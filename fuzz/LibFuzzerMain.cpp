// One fuzzing program per target: OVRA_FUZZ_ENTRY names the entry it drives.

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ovra::fuzz::scratchFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ovra::fuzz::OVRA_FUZZ_ENTRY(data, size);
    return 0;
}
