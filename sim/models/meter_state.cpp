#include "sim/models/meter_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "foundation/runtime_error.h"

namespace tellumic::sim {

namespace {

// How many of the meter's units (W, Wh) one unit of the type is.
double unitFactor(std::string_view type)
{
    return type.find("kilo") != std::string_view::npos || type.find("kwh") != std::string_view::npos ? 1000.0 : 1.0;
}

std::string text(double v, const ValueType &type)
{
    char buf[64];
    if (type.encoding == Encoding::Float32) {
        std::snprintf(buf, sizeof buf, "%.9g", v);
        return buf;
    }
    double scaled = std::round(v / type.scale) * type.scale;
    // Integer registers roll over like the meter's counters; other values stop at the limits.
    if (type.name.find("elec") != std::string_view::npos && type.maximum > 0 && scaled > type.maximum)
        scaled = std::fmod(scaled, type.maximum + type.scale);
    scaled = std::clamp(scaled, type.minimum, type.maximum);
    std::snprintf(buf, sizeof buf, "%.*f", type.decimals, scaled);
    return buf;
}

}  // namespace

double seconds(Clock::TimePoint t)
{
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

Clock::TimePoint timeAt(double s)
{
    return Clock::TimePoint(std::chrono::duration_cast<Clock::TimePoint::duration>(std::chrono::duration<double>(s)));
}

bool MeterStore::has(const std::string &key)
{
    try {
        return !m_state.value(key).empty();
    } catch (const RuntimeError &) {
        return false;
    }
}

bool MeterStore::pinned(const std::string &nvName)
{
    return has(pinKey(nvName)) && m_state.value(pinKey(nvName))[0] == 1;
}

std::string numberListText(const std::vector<double> &values)
{
    std::string s;
    char buf[40];
    for (double v : values) {
        std::snprintf(buf, sizeof buf, "%.17g ", v);
        s += buf;
    }
    return s;
}

std::vector<double> parseNumberList(std::string_view text)
{
    std::vector<double> out;
    std::istringstream in{std::string(text)};
    double v = 0;
    while (in >> v)
        out.push_back(v);
    return out;
}

std::vector<double> MeterStore::numbers(const std::string &key, std::size_t count)
{
    std::vector<double> out;
    if (has(key)) {
        const auto bytes = m_state.value(key);
        out = parseNumberList(std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));
    }
    if (count)
        out.resize(count, 0.0);
    return out;
}

void MeterStore::setNumbers(const std::string &key, const std::vector<double> &values)
{
    const auto s = numberListText(values);
    m_state.setValue(key, Bytes(s.begin(), s.end()));
}

bool MeterStore::unlocked(std::size_t calBlock)
{
    if (has(kUnlockedKey))
        return number(kUnlockedKey, 0) != 0;
    return cpNumber(calBlock, "UCPTfactoryCommand", 0) == 7461;
}

std::array<std::optional<PhaseLoad>, 3> MeterStore::referenceLoads()
{
    std::array<std::optional<PhaseLoad>, 3> loads;
    for (std::size_t i = 0; i < loads.size(); ++i) {
        const auto key = referenceLoadKey(i);
        if (!has(key))
            continue;
        const auto v = numbers(key, 3);
        loads[i] = PhaseLoad{v[0], v[1], v[2]};
    }
    return loads;
}

double MeterStore::number(const std::string &key, double fallback)
{
    return has(key) ? numbers(key, 1)[0] : fallback;
}

std::string MeterStore::nvText(const std::string &name)
{
    const auto *type = findValueType(m_state.nvType(name));
    return type ? formatValue(*type, m_state.value(nvKey(name)), type->name) : "";
}

void MeterStore::setNvText(const std::string &name, const std::string &value)
{
    const auto *type = findValueType(m_state.nvType(name));
    Bytes bytes;
    if (type && parseValue(*type, value, type->name, bytes) && bytes != m_state.value(nvKey(name)))
        m_state.setValue(nvKey(name), bytes);
}

double MeterStore::nvNumber(const std::string &name, double fallback)
{
    if (name.empty())
        return fallback;
    const auto t = nvText(name);
    char *end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    return end == t.c_str() ? fallback : v * unitFactor(m_state.nvType(name));
}

void MeterStore::setQuantity(const std::string &name, double value)
{
    if (name.empty())
        return;
    const auto typeName = m_state.nvType(name);
    if (const auto *type = findValueType(typeName))
        setNvText(name, text(value / unitFactor(typeName), *type));
}

Clock::TimePoint MeterStore::time(const std::string &name)
{
    const auto b = m_state.value(nvKey(name));
    if (b.size() < 7)
        return {};
    return localTimePoint((b[0] << 8) | b[1], b[2], b[3], b[4], b[5], b[6]);
}

void MeterStore::setTime(const std::string &name, Clock::TimePoint t)
{
    Bytes b(7, 0);
    if (t != Clock::TimePoint{}) {
        const auto l = toLocalTime(t);
        b = {static_cast<std::uint8_t>(l.year >> 8), static_cast<std::uint8_t>(l.year & 0xFF), static_cast<std::uint8_t>(l.month),
             static_cast<std::uint8_t>(l.day), static_cast<std::uint8_t>(l.hour), static_cast<std::uint8_t>(l.minute),
             static_cast<std::uint8_t>(l.second)};
    }
    if (b != m_state.value(nvKey(name)))
        m_state.setValue(nvKey(name), b);
}

void MeterStore::restoreInitialType(const std::string &name)
{
    for (const auto &nv : m_interface.nvs)
        if (nv.name == name && m_state.nvType(name) != nv.type)
            m_state.setNvType(name, nv.type);
}

const CpDef *MeterStore::blockCp(std::size_t block, const std::string &name) const
{
    if (block >= m_interface.blocks.size())
        return nullptr;
    for (const auto &cp : m_interface.blocks[block].cps)
        if (cp.name == name)
            return &cp;
    return nullptr;
}

const CpDef *MeterStore::cpOfKey(const std::string &key) const
{
    for (std::size_t b = 0; b < m_interface.blocks.size(); ++b)
        for (const auto &cp : m_interface.blocks[b].cps)
            if (blockCpKey(b, cp) == key)
                return &cp;
    return nullptr;
}

double MeterStore::cpNumber(std::size_t block, const std::string &name, double fallback)
{
    const auto *cp = blockCp(block, name);
    const auto *type = cp ? findValueType(cp->type) : nullptr;
    if (!type)
        return fallback;
    const auto t = formatValue(*type, m_state.value(blockCpKey(block, *cp)), type->name);
    char *end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    return end == t.c_str() ? fallback : v;
}

void MeterStore::setCpText(std::size_t block, const std::string &name, const std::string &value)
{
    const auto *cp = blockCp(block, name);
    const auto *type = cp ? findValueType(cp->type) : nullptr;
    Bytes bytes;
    if (type && parseValue(*type, value, type->name, bytes))
        m_state.setValue(blockCpKey(block, *cp), bytes);
}

}  // namespace tellumic::sim
