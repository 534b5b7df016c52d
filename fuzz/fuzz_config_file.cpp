// Arbitrary text as a configuration file: it is accepted or refused with the configuration
// error, never anything else; what is accepted holds every value in the meter's own form,
// and writes out as a file that reads back the same.

#include <cstdint>
#include <string>

#include "config/config_file.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic;
    using namespace tellumic::config;
    const std::string text(reinterpret_cast<const char *>(data), size);
    MeterConfig config;
    try {
        config = parseConfig(text);
    } catch (const RuntimeError &e) {
        FUZZ_CHECK(e.number() == kInvalidConfiguration);
        FUZZ_CHECK(!e.description().empty());
        return 0;
    }
    const auto entryDefs = configEntries(config.programId);
    FUZZ_CHECK(!entryDefs.empty());
    for (const auto &value : config.values)
        for (const auto &entryDef : entryDefs)
            if (entryDef.name == value.name) {
                const Resolved r = resolveValue(entryDef, value);
                FUZZ_CHECK(r.error.empty());
                FUZZ_CHECK(r.raw == value.raw);
            }
    MeterConfig again;
    try {
        again = parseConfig(toJson(config));
    } catch (const RuntimeError &e) {
        std::fprintf(stderr, "written file refused: %s\n", e.description().c_str());
        FUZZ_CHECK(false);
    }
    FUZZ_CHECK(again.values.size() == config.values.size());
    for (std::size_t i = 0; i < config.values.size(); ++i) {
        FUZZ_CHECK(again.values[i].name == config.values[i].name);
        FUZZ_CHECK(again.values[i].raw == config.values[i].raw);
    }
    return 0;
}
