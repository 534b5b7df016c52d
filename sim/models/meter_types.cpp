// The types a meter sends its output groups in, the SCPTnvType texts that name them, and
// what a written SCPTnvType does.
//
// A group's SCPTnvType, on the group's first NV, selects the type in which the meter sends
// every NV of the group. The meter takes a text when it names a type the group offers
// (program ID, scope, index) and its category, size and scaling factors describe that
// type's encoding on the wire; every NV of the group then sends its quantity in that
// encoding, scaled and limited as the type is (value_types.h). NVT_CAT_INITIAL returns the
// group to the firmware's initial type: the float type on meters with float firmware, the
// declared type on the 312. A meter leaves the factory in its declared types, and each
// group's SCPTnvType names them (the 363 sends its energies as SNVT_elec_kwh_l).

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>

#include "foundation/object_server.h"
#include "foundation/runtime_error.h"
#include "foundation/text.h"
#include "sim/models/meter.h"
#include "sim/models/meter_state.h"

namespace tellumic::sim {

namespace {

// The error code the meter reports for a type it does not offer.
constexpr std::int32_t kErrorInvalidType = 8;

constexpr std::string_view kStandardPid = "0:0:0:0:0:0:0:0";
constexpr std::string_view kMakerPid = "80:B7:E5:0:0:0:0:0";  // the maker's own resource set, scope 3

// Where a type lives in the resource files.
struct Identity
{
    std::string_view name;
    std::string_view pid;
    std::int32_t scope;
    std::int32_t index;
};

constexpr std::array kIdentities = {
    Identity{"SNVT_elec_whr_f", kStandardPid, 0, 68},  Identity{"SNVT_elec_kwh_l", kStandardPid, 0, 146},
    Identity{"SNVT_elec_kwh", kStandardPid, 0, 13},    Identity{"UNVT_elec_kwh_l", kMakerPid, 3, 2},
    Identity{"SNVT_power_f", kStandardPid, 0, 57},     Identity{"SNVT_power", kStandardPid, 0, 27},
    Identity{"SNVT_power_kilo", kStandardPid, 0, 28},  Identity{"SNVT_volt_f", kStandardPid, 0, 66},
    Identity{"SNVT_volt", kStandardPid, 0, 44},        Identity{"SNVT_volt_ac", kStandardPid, 0, 138},
    Identity{"SNVT_freq_f", kStandardPid, 0, 75},      Identity{"SNVT_freq_hz", kStandardPid, 0, 76},
    Identity{"SNVT_amp_f", kStandardPid, 0, 48},       Identity{"SNVT_amp", kStandardPid, 0, 1},
    Identity{"SNVT_amp_ac", kStandardPid, 0, 139},     Identity{"SNVT_pwr_fact_f", kStandardPid, 0, 99},
    Identity{"SNVT_pwr_fact", kStandardPid, 0, 98},
};

const Identity &identityOf(std::string_view name)
{
    for (const auto &i : kIdentities)
        if (i.name == name)
            return i;
    throw RuntimeError(lns::LcaError::kObjectNotFound, "LCA: no resource entry for " + std::string(name));
}

// The group table: members in the order of the meter's interface, the group's float type
// first among its types.
struct GroupRow
{
    std::vector<Role> members;
    std::vector<std::string> types;
};

const std::vector<GroupRow> &groupRows()
{
    using R = Role;
    static const std::vector<GroupRow> rows = {
        {{R::EnergySum, R::EnergySumNR, R::EngyPosSum, R::EngyPosSumNR, R::EnergyA, R::EnergyB, R::EnergyC, R::ReacEnergySum},
         {"SNVT_elec_whr_f", "SNVT_elec_kwh_l", "SNVT_elec_kwh", "UNVT_elec_kwh_l"}},
        {{R::PowerSum, R::PowerA, R::PowerB, R::PowerC}, {"SNVT_power_f", "SNVT_power", "SNVT_power_kilo"}},
        {{R::Demand, R::PeakDemand}, {"SNVT_power_f", "SNVT_power", "SNVT_power_kilo"}},
        {{R::ReacSum, R::ReacA, R::ReacB, R::ReacC}, {"SNVT_power_f", "SNVT_power", "SNVT_power_kilo"}},
        {{R::VoltsA, R::VoltsB, R::VoltsC}, {"SNVT_volt_f", "SNVT_volt", "SNVT_volt_ac"}},
        {{R::Frequency}, {"SNVT_freq_f", "SNVT_freq_hz"}},
        {{R::CurrentA, R::CurrentB, R::CurrentC}, {"SNVT_amp_f", "SNVT_amp", "SNVT_amp_ac"}},
        {{R::PfAvg, R::PfA, R::PfB, R::PfC}, {"SNVT_pwr_fact_f", "SNVT_pwr_fact"}},
    };
    return rows;
}

// The encoding of a type as an SCPTnvType describes it.
struct Encoded
{
    std::string_view category;
    std::int64_t a = 1, b = 0, c = 0;  // one raw unit is a * 10^b of the type's unit, offset c
};

Encoded encodingOf(const ValueType &t)
{
    Encoded e;
    switch (t.encoding) {
    case Encoding::Float32: e.category = "NVT_CAT_FLOAT"; return e;
    case Encoding::Int16: e.category = "NVT_CAT_SIGNED_LONG"; break;
    case Encoding::UInt16: e.category = "NVT_CAT_UNSIGNED_LONG"; break;
    case Encoding::Int32: e.category = "NVT_CAT_SIGNED_QUAD"; break;
    case Encoding::UInt8: e.category = "NVT_CAT_UNSIGNED_CHAR"; break;
    default: e.category = "NVT_CAT_STRUCT"; return e;
    }
    // The smallest power of ten that leaves a whole multiplier: 0.1 is 1 * 10^-1, 0.00005 is 5 * 10^-5.
    for (std::int64_t b = 0; b >= -9; --b) {
        const double a = t.scale / std::pow(10.0, static_cast<double>(b));
        if (a >= 1 && std::fabs(a - std::round(a)) < 1e-6) {
            e.a = std::llround(a);
            e.b = b;
            break;
        }
    }
    return e;
}

// An SCPTnvType text taken apart.
struct TypeText
{
    std::array<unsigned, 8> pid{};
    std::int64_t scope = 0, index = 0;
    std::string category;
    std::int64_t size = 0, a = 0, b = 0, c = 0;
};

bool wholeNumber(std::string_view text, std::int64_t &out, int base = 10)
{
    text = trimBlanks(text);
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool parsePid(std::string_view text, std::array<unsigned, 8> &pid)
{
    for (std::size_t i = 0; i < pid.size(); ++i) {
        const auto colon = text.find(':');
        if ((colon == std::string_view::npos) != (i + 1 == pid.size()))
            return false;
        std::int64_t byte = 0;
        if (!wholeNumber(text.substr(0, colon), byte, 16) || byte < 0 || byte > 255)
            return false;
        pid[i] = static_cast<unsigned>(byte);
        if (colon != std::string_view::npos)
            text.remove_prefix(colon + 1);
    }
    return true;
}

// "PID 0:0:0:0:0:0:0:0, Scope 0, Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0"
std::optional<TypeText> parseTypeText(std::string_view text)
{
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const auto comma = text.find(',', start);
        fields.push_back(trimBlanks(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (fields.size() != 8)
        return std::nullopt;
    auto after = [](std::string_view field, std::string_view head, std::string_view &rest) {
        if (!field.starts_with(head))
            return false;
        rest = field.substr(head.size());
        return true;
    };
    TypeText t;
    std::string_view rest;
    if (!after(fields[0], "PID ", rest) || !parsePid(rest, t.pid))
        return std::nullopt;
    if (!after(fields[1], "Scope ", rest) || !wholeNumber(rest, t.scope))
        return std::nullopt;
    if (!after(fields[2], "Index ", rest) || !wholeNumber(rest, t.index))
        return std::nullopt;
    if (!fields[3].starts_with("NVT_CAT_"))
        return std::nullopt;
    t.category = std::string(fields[3]);
    if (!fields[4].ends_with(" bytes") || !wholeNumber(fields[4].substr(0, fields[4].size() - 6), t.size))
        return std::nullopt;
    if (!after(fields[5], "A=", rest) || !wholeNumber(rest, t.a) || !after(fields[6], "B=", rest) ||
        !wholeNumber(rest, t.b) || !after(fields[7], "C=", rest) || !wholeNumber(rest, t.c))
        return std::nullopt;
    return t;
}

// Whether a text names this type and describes its encoding.
bool describes(const TypeText &t, const Identity &id, const ValueType &type)
{
    std::array<unsigned, 8> pid{};
    parsePid(id.pid, pid);
    const auto e = encodingOf(type);
    return t.pid == pid && t.scope == id.scope && t.index == id.index && t.category == e.category &&
           t.size == static_cast<std::int64_t>(type.size) && t.a == e.a && t.b == e.b && t.c == e.c;
}

std::string asciiText(const Bytes &bytes)
{
    std::string text;
    for (auto c : bytes) {
        if (c == 0)
            break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

const std::string &declaredType(const InterfaceDef &interfaceDef, const std::string &nvName)
{
    for (const auto &nv : interfaceDef.nvs)
        if (nv.name == nvName)
            return nv.type;
    throw RuntimeError(lns::LcaError::kObjectNotFound, "The meter has no NV " + nvName);
}

// The type NVT_CAT_INITIAL selects for an NV of a group.
std::string initialType(const MeterLayout &layout, const TypeGroup &group, const std::string &declared)
{
    return layout.floatFirmware ? group.types.front() : declared;
}

}  // namespace

std::vector<TypeGroup> typeGroups(const MeterLayout &layout)
{
    std::vector<TypeGroup> groups;
    for (const auto &row : groupRows()) {
        TypeGroup g{row.members, row.types};
        std::erase_if(g.members, [&](Role r) { return layout.name(r).empty(); });
        if (!g.members.empty())
            groups.push_back(std::move(g));
    }
    return groups;
}

std::string nvTypeText(std::string_view typeName)
{
    const auto &id = identityOf(typeName);
    const auto *type = findValueType(typeName);
    if (!type)
        throw RuntimeError(lns::LcaError::kObjectNotFound, "LCA: unknown type " + std::string(typeName));
    const auto e = encodingOf(*type);
    return "PID " + std::string(id.pid) + ", Scope " + std::to_string(id.scope) + ", Index " + std::to_string(id.index) +
           ", " + std::string(e.category) + ", " + std::to_string(type->size) + " bytes, A=" + std::to_string(e.a) +
           ", B=" + std::to_string(e.b) + ", C=" + std::to_string(e.c);
}

std::string shippedNvTypeText(const MeterLayout &layout, Role first, const std::string &declared)
{
    // The layout may still be in the making: the rows, not the family's groups.
    for (const auto &row : groupRows()) {
        if (row.members.front() != first)
            continue;
        const TypeGroup group{row.members, row.types};
        return initialType(layout, group, declared) == declared ? std::string(kInitialNvType) : nvTypeText(declared);
    }
    return std::string(kInitialNvType);
}

std::vector<std::string> Meter::nvTypeChoices(const std::string &nvName) const
{
    const auto role = roleOf(nvName);
    if (!role)
        return {};
    for (const auto &g : typeGroups(m_layout))
        if (std::find(g.members.begin(), g.members.end(), *role) != g.members.end())
            return g.types;
    return {};
}

void Meter::changeType(DeviceState &state, const std::string &key) const
{
    const std::string text = asciiText(state.value(key));
    const auto parsed = parseTypeText(text);
    for (const auto &group : typeGroups(m_layout)) {
        const auto &first = m_layout.name(group.members.front());
        if (key != "cp:N" + first + "/0:254")
            continue;
        // The type the text selects; "" for the initial type.
        std::optional<std::string> target;
        if (parsed && parsed->category == "NVT_CAT_INITIAL")
            target = "";
        for (const auto &type : group.types)
            if (!target && parsed && describes(*parsed, identityOf(type), *findValueType(type)))
                target = type;
        if (!target) {
            state.reportError(kErrorInvalidType);
            throw RuntimeError(lns::LcaError::kInvalidValue, "LCA: the meter does not offer the type " + text + " for " + first);
        }
        for (auto role : group.members) {
            const auto &name = m_layout.name(role);
            state.setValue(pinKey(name), {0});
            const std::string type =
                target->empty() ? initialType(m_layout, group, declaredType(m_interface, name)) : *target;
            if (state.nvType(name) != type)
                state.setNvType(name, type);
        }
        noteEvent(state, kFlagConfigChange);
        return;
    }
}

void Meter::restoreShippedTypes(DeviceState &state) const
{
    MeterStore store(state, m_interface);
    const auto *textType = findValueType("SCPTnvType");
    for (const auto &group : typeGroups(m_layout)) {
        for (auto role : group.members) {
            state.setValue(pinKey(m_layout.name(role)), {0});
            store.restoreInitialType(m_layout.name(role));
        }
        // The group's SCPTnvType names the type it sends again.
        const auto &first = m_layout.name(group.members.front());
        for (const auto &nv : m_interface.nvs) {
            if (nv.name != first)
                continue;
            for (const auto &cp : nv.cps) {
                Bytes bytes;
                if (cp.scope == 0 && cp.index == 254 && parseValue(*textType, cp.initial, textType->name, bytes))
                    state.setValue(nvCpKey(first, cp), bytes);
            }
        }
    }
}

}  // namespace tellumic::sim
