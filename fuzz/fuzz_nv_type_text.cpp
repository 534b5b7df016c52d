// SCPTnvType texts written to a meter: the meter takes them apart and changes the group's
// type only to one it offers (or back to the initial one); any other text is refused with
// the run-time error for an invalid value and changes nothing.

#include <cstdint>
#include <map>
#include <string>

#include "foundation/clock.h"
#include "foundation/object_server.h"
#include "fuzz/fuzz_common.h"
#include "sim/device_model.h"
#include "sim/models/meter.h"
#include "sim/value_types.h"

namespace {

using namespace tellumic;

// A meter's values held in memory, as the simulated network database holds them.
class MemoryState final : public sim::DeviceState
{
public:
    sim::Bytes value(const std::string &key) override { return m_values[key]; }
    void setValue(const std::string &key, const sim::Bytes &bytes) override { m_values[key] = bytes; }
    Clock::TimePoint now() const override { return localTimePoint(2011, 3, 5, 14, 7, 9); }
    std::string nvType(const std::string &nvName) override { return m_types[nvName]; }
    void setNvType(const std::string &nvName, const std::string &typeName) override
    {
        FUZZ_CHECK(sim::findValueType(typeName) != nullptr);
        m_types[nvName] = typeName;
    }
    void reportError(std::int32_t) override {}

    std::map<std::string, std::string> m_types;

private:
    std::map<std::string, sim::Bytes> m_values;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const auto meter = sim::makeMeter362();
    const sim::Bytes text(data, data + size);
    for (const auto &nv : meter->interfaceDef().nvs) {
        MemoryState state;
        const std::string key = "cp:N" + nv.name + "/0:254";
        state.setValue(key, text);
        const auto typesBefore = state.m_types;
        try {
            meter->written(state, key);
        } catch (const RuntimeError &e) {
            FUZZ_CHECK(e.number() == tellumic::lns::LcaError::kInvalidValue);
            FUZZ_CHECK(state.m_types == typesBefore);
        }
    }
    return 0;
}
