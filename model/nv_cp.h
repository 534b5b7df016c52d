#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tellumic {

// The device window's controls that catalogue entries name: an array and an element
// ("txtNvo" 12). The window maps each name to its widget; the catalogue stays free of Qt.
enum class ControlArray { None, txtNvi, txtNvo, txtCp, lblPowerType, lblReacPwrType, lblDemandType, txtPtPrimary };

struct ControlRef
{
    ControlArray array = ControlArray::None;
    int index = 0;

    bool isNone() const { return array == ControlArray::None; }
    // Value boxes are text boxes; the unit labels are labels.
    bool isTextBox() const
    {
        return array == ControlArray::txtNvi || array == ControlArray::txtNvo || array == ControlArray::txtCp ||
               array == ControlArray::txtPtPrimary;
    }
    friend auto operator<=>(const ControlRef &, const ControlRef &) = default;
};

// "txtNvo" for ControlArray::txtNvo, "" for none.
std::string_view controlArrayName(ControlArray array);

// One NV or CP of the device window.
struct NvCp
{
    std::string Name;
    std::string Kind;  // "NVI", "NVO" or "CP"
    std::string Tab;
    std::int32_t MonitorTag = 0;  // position + 1 when monitored, else 0
    ControlRef ValueCtl;
    ControlRef UnitCtl;
    std::string CpAddress;
    std::string TypeName;
    std::string Value;  // last raw value read from or written to a CP
    std::string Block;
};

inline constexpr std::size_t kNvCpSlots = 51;

// The catalogue of the device shown: entries 0 to NvCpCount - 1 are valid. Each value box
// carries its entry's position as its tag.
struct NvCpCatalogue
{
    std::array<NvCp, kNvCpSlots> NvCpTable;
    std::int16_t NvCpCount = 0;
    std::map<ControlRef, std::int16_t> tags;

    // The position a value box's tag holds, or -1 when no entry is bound to it.
    std::int16_t tagOf(ControlRef control) const;
    // The entry an NV update event's monitor tag names, or nullptr.
    const NvCp *byMonitorTag(std::int32_t tag) const;
    const NvCp *byName(std::string_view name) const;
};

// The process's catalogue.
NvCpCatalogue &nvCpCatalogue();

// Picks the family for a program ID (exact, case-sensitive) and fills the catalogue. An
// unsupported program ID raises RuntimeError 800407DE and leaves the catalogue as it was.
void FillNvsCpsTable(std::string_view programId);
void FillNvsCpsTable_302();
void FillNvsCpsTable_312();
void FillNvsCpsTable_362();
void FillNvsCpsTable_363(bool IncludeLogging, bool IncludePtRatio);

// Stores one entry at position and advances it; a position above 50 raises RuntimeError 9
// before anything is stored.
void AddNvCp(std::int16_t &position, std::string_view Name, std::string_view Kind, std::string_view Tab,
             std::string_view Block, ControlRef ValueCtl, bool monitored, std::string_view CpAddress,
             std::string_view TypeName, ControlRef UnitCtl);

}  // namespace tellumic
