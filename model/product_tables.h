#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tellumic {

// The firmware families whose NVs and CPs the device window knows.
enum class CatalogueFamily { F302, F312, F362, F363 };

struct ProgramIdRecord
{
    std::string ProgramId;  // 16 hexadecimal digits
    std::string Model;
    bool ImportXif = false;  // registration imports the template from an XIF file
    CatalogueFamily family = CatalogueFamily::F302;
    bool logging = false;
    bool ptRatio = false;
};

struct CommandRecord
{
    std::int32_t CommandId = 0;
    std::int32_t ObjectType = 0;
    std::string CommandName;
    std::string CommandDescription;
    bool IsDefault = false;
    std::int32_t RegisterScope = 0;  // 1 object server, 2 system, 3 device template, 4 LonMark object
    std::string LonMarkObjectName;
};

struct ResourceRecord
{
    std::string ResourcePath;  // LonWorks path + "\types\User\HVI"
    std::string ProgramIdTemplate;
    std::int16_t Scope = 0;
    std::int32_t VersionMajor = 0;
    std::int32_t VersionMinor = 0;
};

inline constexpr std::size_t kProgramIdSlots = 11;
inline constexpr std::size_t kCommandCount = 1;
inline constexpr std::size_t kResourceCount = 1;

// The meters served, in table order.
const std::array<ProgramIdRecord, 9> &supportedMeters();
// The supported meter with this program ID (compared without regard to case), or nullptr.
const ProgramIdRecord *findProgramId(std::string_view programId);

// The process-wide tables, filled when the first automation object is made and again by
// the registration routines that use them.
struct ProductTables
{
    std::array<ProgramIdRecord, kProgramIdSlots> programIds;
    std::int16_t programIdCount = 0;
    std::array<CommandRecord, kCommandCount> commands;
    std::array<ResourceRecord, kResourceCount> resources;
};
ProductTables &productTables();

void FillProgramIdTable();
void FillCommandTable();
// Needs the LonWorks path: its RuntimeError passes on to the caller.
void FillResourceTable();

// The LonWorks installation folder from the registry store ("LonWorks Path" under
// HKLM "SOFTWARE\LonWorks"); RuntimeError 800407DA when it is missing or empty.
std::string GetLonWorksPath();

// "4.02 build 7" into major 4, minor 2; a one-digit minor counts as tens ("4.2" is 4, 20).
void GetVersionNumber(std::string_view version, std::int16_t &major, std::int16_t &minor);

}  // namespace tellumic
