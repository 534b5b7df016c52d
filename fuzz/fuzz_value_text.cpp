// Value texts as a user or a tool writes them to an NV or a configuration property, for
// every type the simulated meters have (SCPTnvType texts among them), and the texts read
// back from a group's SCPTnvType: a text that parses gives the type's size, and its
// formatted value parses again to the same bytes.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_common.h"
#include "nvtype/nv_type_tables.h"
#include "sim/value_types.h"

namespace {
constexpr const char *kTypes[] = {
    "SNVT_power", "SNVT_power_kilo", "SNVT_power_f", "SNVT_volt", "SNVT_volt_ac", "SNVT_volt_f", "SNVT_amp",
    "SNVT_amp_ac", "SNVT_amps_ac", "SNVT_amp_f", "SNVT_amps_f", "SNVT_freq_hz", "SNVT_freq_f", "SNVT_pwr_fact",
    "SNVT_pwr_fact_f", "SNVT_elec_kwh", "SNVT_elec_whr_f", "SNVT_elec_kwh_l", "UNVT_elec_kwh_l", "SNVT_count",
    "SNVT_temp_p", "SNVT_time_stamp", "SNVT_elapsed_tm", "SCPTmaxSndT", "SCPTlocation", "SCPTdevMajVer",
    "SCPTdevMinVer", "UCPTmodel", "UCPTserialNumber", "UCPTnominalVolt", "UCPTptRatio", "UCPTfactoryCommand",
    "UCPTctAmps", "UCPTminVolt", "UCPTcreepLimit", "UCPTcalPower", "UCPTcalReactive", "UCPTcalVolt", "UCPTphaseAdj",
    "SCPTnvType", "SNVT_count_f"};
constexpr const char *kFormats[] = {"", "RAW", "#SI", "#US"};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic;
    if (size < 1)
        return 0;
    const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);
    const auto *type = sim::findValueType(kTypes[data[0] % std::size(kTypes)]);
    FUZZ_CHECK(type);
    const std::string format = std::string(kFormats[(data[0] / std::size(kTypes)) % 4]).starts_with("#")
                                   ? std::string(type->name) + kFormats[(data[0] / std::size(kTypes)) % 4]
                                   : kFormats[(data[0] / std::size(kTypes)) % 4];
    sim::Bytes bytes;
    if (sim::parseValue(*type, text, format, bytes)) {
        FUZZ_CHECK(bytes.size() == type->size);
        const std::string shown = sim::formatValue(*type, bytes, format);
        sim::Bytes again;
        // Scaled texts round; a shown value is one the type takes again.
        FUZZ_CHECK(sim::parseValue(*type, shown, format, again));
        FUZZ_CHECK(again.size() == type->size);
    }
    for (const auto &list : nvTypeLists()) {
        const int index = recognisedIndex(list, text);
        FUZZ_CHECK(index >= -1 && index < static_cast<int>(list.entries.size()));
    }
    return 0;
}
