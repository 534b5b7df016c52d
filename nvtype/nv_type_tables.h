#pragma once

// The meter's measurement groups whose network type can be changed, the types each group
// can take, and the drop-down lists of the change-type dialog that offer them.

#include <span>
#include <string_view>

namespace tellumic {

// The SCPTnvType text that returns a group to the meter's initial type.
inline constexpr std::string_view kInitialNvTypeText =
    "PID 0:0:0:0:0:0:0:0, Scope 0, Index 1, NVT_CAT_INITIAL, 1 bytes, A=0, B=0, C=0";

// One type a group can take.
struct NvTypeChoice
{
    std::string_view nvTypeText;  // written to the group's SCPTnvType
    std::string_view typeName;    // for the messages
    std::string_view formatName;  // given to every NV of the group
};

// A group of output NVs whose type one SCPTnvType, on its first NV, selects, and the
// procedure (and LNS action) that changes it.
struct NvTypeGroup
{
    std::string_view procedure;           // "ChangeEnergyType"
    std::span<const std::string_view> nvs;  // in the order their formats are set
    std::string_view cpAddress;           // "N:nvoEnergySum/C:0:254"
    std::span<const NvTypeChoice> types;  // by choice; 0 is the group's default
    std::string_view invalidChoice;       // error entry for a choice outside the types
    std::string_view status;              // status line, before the type name
    std::string_view result;              // information entry, before the type name
    bool waitsForFilling = false;         // does nothing while the dialog fills its lists
};

// The eight groups: energy, real power, demand, reactive power, voltage, frequency,
// current, power factor.
std::span<const NvTypeGroup> nvTypeGroups();

// A drop-down list of the change-type dialog: entry k selects type k of its group.
struct NvTypeList
{
    std::string_view name;     // "cboEnergyNvType"
    std::string_view caption;  // the group as the dialog names it
    const NvTypeGroup &group;
    std::span<const std::string_view> entries;
    // The explicit text of the default type, which the meter may report instead of INITIAL.
    std::string_view defaultText;
};

// The dialog's lists, in the order they are filled.
std::span<const NvTypeList> nvTypeLists();

// The entry of a list that the text read from its group's SCPTnvType selects: 0 for any
// text holding "NVT_CAT_INITIAL" or for the default's explicit text, k for the text of
// type k; -1 for any other text. Texts compare exactly, with case.
int recognisedIndex(const NvTypeList &list, std::string_view nvTypeText);

}  // namespace tellumic
