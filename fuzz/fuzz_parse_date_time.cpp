// Arbitrary text through the date/time parser, and what the plug-in does with its result.

#include <cstdint>
#include <string>

#include "fuzz/fuzz_common.h"
#include "log/log_records.h"
#include "model/date_time.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const LogDateTime dt = ParseDateTime(text);
    const std::string shown = FormatDateTime(dt);
    if (ValidateDateTime(dt).empty()) {
        // A date that passes the checks reads back as itself.
        FUZZ_CHECK(ParseDateTime(shown) == dt);
        try {
            const double days = TimestampToDate(dt);
            FUZZ_CHECK(days > 36000 && days < 74000);
        } catch (const RuntimeError &) {
            // Day 31 of a short month passes the checks but is no date.
            FUZZ_CHECK(dt.day > 28);
        }
    }
    return 0;
}
