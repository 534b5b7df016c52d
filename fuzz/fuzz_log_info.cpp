// Raw file-3 bytes through the log information decoding.

#include <cstdint>

#include "fuzz/fuzz_common.h"
#include "log/log_records.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic;
    const LogInfo info = LoadLogInfo(std::span<const std::uint8_t>(data, size));
    FUZZ_CHECK(info.newest.recordNumber >= 0 && info.oldest.recordNumber >= 0);
    FUZZ_CHECK(info.newest.fieldA >= 0 && info.oldest.fieldB >= 0);
    if (size >= 33)
        FUZZ_CHECK(info.bytes[2] == data[32] || info.bytes[2] == 0);
    return 0;
}
