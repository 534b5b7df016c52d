// The whole-number and double parsers that take numbers from files, command lines and the
// bus: strict ones give a value in range or none; the lenient ones never fail otherwise
// than with the run-time errors they name.

#include <cmath>
#include <cstdint>
#include <string_view>

#include "foundation/text.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    if (const auto v = parseWholeNumber(text, -1000, 1'000'000))
        FUZZ_CHECK(*v >= -1000 && *v <= 1'000'000);
    if (const auto v = parseWholeNumber(text, INT64_MIN, INT64_MAX))
        FUZZ_CHECK(parseDouble(text).has_value());
    const auto d = parseDouble(text);
    static_cast<void>(Val(text));
    try {
        const double t = toDouble(text);
        FUZZ_CHECK(d.has_value() && (t == *d || (std::isnan(t) && std::isnan(*d))));
    } catch (const RuntimeError &) {
        FUZZ_CHECK(!d.has_value());
    }
    try {
        static_cast<void>(toLong(text));
    } catch (const RuntimeError &) {
    }
    try {
        static_cast<void>(toInteger(text));
    } catch (const RuntimeError &) {
    }
    try {
        static_cast<void>(toByte(text));
    } catch (const RuntimeError &) {
    }
    return 0;
}
