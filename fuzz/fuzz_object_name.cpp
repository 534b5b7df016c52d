// Object names as a host sends them with SendCommand: the parts taken apart are the
// name's own text, each without a slash, and reading any part (stripped or not) is safe.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_common.h"
#include "host/object_names.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic;
    const std::string_view name(reinterpret_cast<const char *>(data), size);
    const std::int16_t count = ParseObjectName(name);
    FUZZ_CHECK(count >= 0);
    FUZZ_CHECK(static_cast<std::size_t>(count) == objectNames().ObjectNameParts.size());
    std::size_t total = 0;
    for (std::int16_t i = 1; i <= count; ++i) {
        const std::string part = GetObjectNameParameterString(i, false);
        FUZZ_CHECK(!part.empty());
        FUZZ_CHECK(part.find('/') == std::string::npos);
        FUZZ_CHECK(name.find(part) != std::string_view::npos);
        const std::string stripped = GetObjectNameParameterString(i, true);
        FUZZ_CHECK(part.ends_with(stripped));
        total += part.size() + 1;
    }
    FUZZ_CHECK(total <= name.size() + 1);
    FUZZ_CHECK(GetObjectNameParameterString(0, false).empty());
    FUZZ_CHECK(GetObjectNameParameterString(static_cast<std::int16_t>(count + 1), true).empty() || count == INT16_MAX);
    // The last two parts name a subsystem and a device: any text is taken as a name.
    GetCommandIdName(static_cast<std::int32_t>(size));
    GetClassIdName(static_cast<std::int16_t>(count));
    return 0;
}
