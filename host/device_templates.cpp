#include "host/device_templates.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>

#include "foundation/child_process.h"
#include "foundation/dialogs.h"
#include "foundation/file_io.h"
#include "foundation/paths.h"
#include "foundation/plugin_state.h"
#include "foundation/resource_catalogue.h"
#include "foundation/retry.h"
#include "foundation/text.h"
#include "foundation/trace_log.h"
#include "foundation/ui_pump.h"
#include "model/product_tables.h"

namespace tellumic {

namespace {

constexpr int kXfbPolls = 1000;
constexpr int kMaxNameTries = 1000;

std::string trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return std::string(s);
}

// Folders below the search root that the XIF search enters at most; the import folders of
// a LonWorks installation are a few levels deep.
constexpr int kMaxXifDepth = 8;
// The longest line of an XIF file's head that is read; a program-ID line is 23 characters.
constexpr std::size_t kMaxXifLine = 1024;

bool endsWithXif(std::string_view name)
{
    return name.size() >= 4 && toUpperAscii(name.substr(name.size() - 4)) == ".XIF";
}

// Reads one line of at most kMaxXifLine characters; a longer line reads as "" and ends the
// reading, so a file without line breaks is never read whole.
bool getBoundedLine(std::istream &in, std::string &line)
{
    line.clear();
    for (char c; in.get(c);) {
        if (c == '\n')
            return true;
        if (line.size() == kMaxXifLine) {
            line.clear();
            in.setstate(std::ios::failbit);
            return false;
        }
        line.push_back(c);
    }
    return !line.empty();
}

// Whether a folder lies inside another one (or is it), links resolved.
bool isInside(const std::filesystem::path &folder, const std::filesystem::path &outer)
{
    std::error_code ec;
    const auto inner = std::filesystem::weakly_canonical(folder, ec);
    if (ec)
        return false;
    const auto base = std::filesystem::weakly_canonical(outer, ec);
    if (ec)
        return false;
    const auto relative = inner.lexically_relative(base);
    return !relative.empty() && *relative.begin() != "..";
}

// The folder the XIF search walks: the system's import folder when it lies inside the
// LonWorks installation, otherwise (a remote object server names none) the installation's
// own "Import" folder. The search never leaves the installation.
std::string xifSearchFolder(const std::string &root)
{
    const std::string lonWorks = GetLonWorksPath();
    if (!root.empty() && isInside(nativePath(root), nativePath(lonWorks)))
        return root;
    DebugLog("WARN: MMain.Get_XIF_from_Import(): searching " + lonWorks + "\\Import instead of '" + root + "'");
    return lonWorks + "\\Import";
}

// The entries of a folder sorted by name; a folder that cannot be read has none.
std::vector<std::filesystem::directory_entry> sortedEntries(const std::filesystem::path &folder)
{
    std::vector<std::filesystem::directory_entry> entries;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    std::sort(entries.begin(), entries.end(),
              [](const auto &a, const auto &b) { return a.path().filename().string() < b.path().filename().string(); });
    return entries;
}

}  // namespace

DeviceTemplateState &deviceTemplateState()
{
    static DeviceTemplateState state;
    return state;
}

std::string ValidateDrfFiles()
{
    DebugLog("MMain.ValidateDrfFiles()");
    auto &state = deviceTemplateState();
    if (state.DrfValidated)
        return {};
    std::string report;
    try {
        FillResourceTable();
        const auto &row = productTables().resources[0];
        const std::string root = GetLonWorksPath() + "\\Types";
        auto catalogue = createResourceCatalogue();
        const std::int32_t opened = catalogue ? catalogue->open(nativePath(root).string()) : ResourceCatalogue::kNotFound;
        if (opened != ResourceCatalogue::kSuccess) {
            DebugLog("ERROR: MMain.ValidateDrfFiles(): could not find path: " + root);
            report = "Error opening resource catalog: " + std::to_string(opened);
        } else {
            const auto found = catalogue->query(row.ProgramIdTemplate, row.Scope);
            if (found.code != ResourceCatalogue::kSuccess) {
                DebugLog("ERROR: MMain.ValidateDrfFiles(): could not find HVI resource files");
                MsgBox("The resource files required for the Tellumic are not present on this computer. Browsing "
                       "and data formating capabilities might be restricted to standard types.",
                       MsgStyle::kOkOnly, "Tellumic Plug-in");
            } else if (found.versionMajor != row.VersionMajor || found.versionMinor != row.VersionMinor) {
                DebugLog("WARN: MMain.ValidateDrfFiles(): out-of-date resource files: " +
                         std::to_string(found.versionMajor) + "." + std::to_string(found.versionMinor));
                MsgBox("The resource files for the Tellumic are out-of-date. This may interfere with"
                       " browsing and configuration.",
                       MsgStyle::kOkOnly, "Tellumic Plug-in");
            }
            if (catalogue->close() == ResourceCatalogue::kSuccess) {
                state.DrfValidated = true;
                return {};
            }
            DebugLog("WARN: MMain.ValidateDrfFiles(): could not close catalog");
            report = "Warning: could not close the resource catalog.";
        }
    } catch (const RuntimeError &e) {
        report = "Error validating resource catalog: " + e.description();
    }
    state.DrfValidated = false;
    return report;
}

bool RefreshLdrfCatalog()
{
    DebugLog("MMain.RefreshLdrfCatalog()");
    try {
        auto catalogue = createResourceCatalogue();
        if (!catalogue || catalogue->open(nativePath(GetLonWorksPath()).string()) != ResourceCatalogue::kSuccess) {
            DebugLog("ERROR: MMain.RefreshLdrfCatalog() - could not open catalog");
            return false;
        }
        FillResourceTable();
        const auto &row = productTables().resources[0];
        const auto found = catalogue->query(row.ProgramIdTemplate, row.Scope);
        if (found.code == ResourceCatalogue::kNotFound) {
            const std::int32_t added = catalogue->addDirectory(nativePath(row.ResourcePath).string());
            if (added != ResourceCatalogue::kSuccess && added != ResourceCatalogue::kAlreadyPresent) {
                DebugLog("ERROR: MMain.RefreshLdrfCatalog() - could not add path '" + row.ResourcePath +
                         "' to catalog. Err = " + std::to_string(added));
                catalogue->close();
                return false;
            }
        } else if (found.code != ResourceCatalogue::kSuccess) {
            DebugLog("ERROR: MMain.RefreshLdrfCatalog() - could not open catalog. Err = " + std::to_string(found.code));
            catalogue->close();
            return false;
        }
        if (const auto code = catalogue->refresh(); code != ResourceCatalogue::kSuccess) {
            DebugLog("ERROR: MMain.RefreshLdrfCatalog() - could not refresh catalog. Err = " + std::to_string(code));
            catalogue->close();
            return false;
        }
        if (const auto code = catalogue->close(); code != ResourceCatalogue::kSuccess) {
            DebugLog("ERROR: MMain.RefreshLdrfCatalog() - could not close catalog. Err = " + std::to_string(code));
            return false;
        }
        if (plugIn().ServerIsRemote)
            MsgBox("Register this Plug-In on the LNS Server computer to ensure all resource files required by this "
                   "Plug-In are available to the server. Failure to do so may cause unexpected errors.",
                   MsgStyle::kExclamation, "");
        return true;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MMain.RefreshLdrfCatalog()," + errorText(e));
        return false;
    }
}

namespace {

// DrfLookUp's error handler for each step: Retry runs the failed step again, Ignore goes on
// after it, Abort ends the look-up.
MsgResult askDrfStep(const RuntimeError &e)
{
    DebugLog("ERROR: modFramework.DrfLookUp()" + errorText(e));
    return MsgBox(errorText(e), MsgStyle::kAbortRetryIgnore + MsgStyle::kCritical, "modFramework DrfLookUp");
}

void closeCatalogue(ResourceCatalogue *catalogue, bool opened)
{
    if (opened && catalogue->close() != ResourceCatalogue::kSuccess)
        MsgBox("Error closing the catalog", MsgStyle::kCritical, "");
}

}  // namespace

bool DrfLookUp(lns::AppDevice &device, const std::function<void(const std::string &)> &showTitle)
{
    DebugLog("modFramework.DrfLookUp()");
    showTitle("Complete DRF look-up in progress...");
    lns::Collection<lns::FunctionalBlock> objects;
    std::unique_ptr<ResourceCatalogue> catalogue;
    bool opened = false;
    auto abort = [&] {
        closeCatalogue(catalogue.get(), opened);
        return false;
    };
    if (!runWithRetry([&] { objects = device.GetInterface()->LonMarkObjects(); }, askDrfStep))
        return abort();
    const bool open = runWithRetry([&] {
        catalogue = createResourceCatalogue();
        if (!catalogue || catalogue->open(nativePath(GetLonWorksPath() + "\\Types").string()) != ResourceCatalogue::kSuccess)
            throw RuntimeError(lns::LcaError::kNotOpen, "The resource catalog could not be opened");
        opened = true;
    }, askDrfStep);
    if (!open)
        return abort();
    for (std::int32_t i = 1; opened && i <= objects.Count(); ++i) {
        const bool stepped = runWithRetry([&] {
            auto object = objects.Item(i);
            const std::int32_t key = object->FunctionalProfileKey();
            for (std::int16_t scope : {6, 5, 4, 3}) {
                if (!catalogue->findFunctionalProfile(key, scope))
                    continue;
                object->SetMode(scope);
                showTitle("Set " + object->Name() + " mode = " + std::to_string(scope));
                break;
            }
        }, askDrfStep);
        if (!stepped)
            return abort();
    }
    closeCatalogue(catalogue.get(), opened);
    return true;
}

std::string ImportTemplateFromXIF(lns::System &system, const std::string &programId, const std::string &model)
{
    DebugLog("MMain.ImportTemplateFromXIF(" + programId + "," + model + ")");
    const std::string path = Get_XIF_from_Import(system, programId);
    if (path.empty())
        return {};
    const std::string name = FindName(system, model);
    if (name.empty())
        return "Could not create a unique template name.";
    try {
        auto created = system.AddDeviceTemplate(name);
        created->ImportXif(path);
        return {};
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MMain.ImportTemplateFromXIF()," + errorText(e));
        try {
            system.RemoveDeviceTemplate(name);
        } catch (const RuntimeError &) {
        }
        return "Could not import the external interface file " + path + ".";
    }
}

std::string Get_XIF_from_Import(lns::System &system, const std::string &programId)
{
    DebugLog("MMain.Get_XIF_from_Import(" + programId + ")");
    std::string found;
    try {
        auto &state = deviceTemplateState();
        if (!plugIn().ServerIsRemote)
            state.XifSearchRoot = system.ImportFolder();
        found = LocateXif(nativePath(xifSearchFolder(state.XifSearchRoot)).string() + "/", programId);
        if (!found.empty())
            found = XIF_and_XFB(found);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MMain.Get_XIF_from_Import()," + errorText(e));
    }
    return found;
}

std::string XIF_and_XFB(const std::string &xifPath)
{
    DebugLog("MMain.XIF_and_XFB(" + xifPath + ")");
    try {
        if (!FileExists(xifPath))
            return {};
        const std::string xfbPath = xifPath.substr(0, xifPath.size() - 3) + "XFB";
        if (FileExists(xfbPath))
            return xifPath;
        const std::string converter = nativePath(GetLonWorksPath() + "\\bin\\XIF32BIN").string();
        runChildAndWait(converter, {xifPath, xfbPath});
        for (int i = 0; i < kXfbPolls && !FileExists(xfbPath); ++i)
            keepUiAlive();
        if (!FileExists(xfbPath))
            MsgBox("The file " + xfbPath + " could not be found.", MsgStyle::kCritical, "Cannot Export Database");
        return xifPath;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MMain.XIF_and_XFB()," + errorText(e));
        return xifPath;
    }
}

std::string FindName(lns::System &system, const std::string &baseName)
{
    DebugLog("MMain.FindName(" + baseName + ")");
    std::string name = baseName;
    try {
        auto templates = system.DeviceTemplates();
        for (int n = 1; n <= kMaxNameTries && templates.Find(name); ++n)
            name = baseName + " (" + std::to_string(n) + ")";
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MMain.FindName()," + errorText(e));
    }
    return name;
}

std::string LocateXif(const std::string &folder, const std::string &programId, int depth)
{
    DebugLog("WalkDir.LocateXif(" + folder + "," + programId + ")");
    const std::string wanted = toUpperAscii(programId);
    const auto entries = sortedEntries(folder);
    for (const auto &e : entries) {
        const std::string name = e.path().filename().string();
        std::error_code ec;
        if (e.is_regular_file(ec) && endsWithXif(name) && toUpperAscii(GetProgamIdFromXIF(folder + name)) == wanted)
            return folder + name;
    }
    if (depth >= kMaxXifDepth)
        return {};
    for (const auto &e : entries) {
        const std::string name = e.path().filename().string();
        if (name.empty() || name.front() == '.' || !IsDirectory(folder + name))
            continue;
        if (auto found = LocateXif(folder + name + "/", programId, depth + 1); !found.empty())
            return found;
    }
    return {};
}

bool IsDirectory(const std::string &path)
{
    DebugLog("WalkDir.IsDirectory(" + path + ")");
    // A link to a folder is not one: following links could lead in circles or out of the
    // installation.
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::symlink_status(path, ec));
}

std::string GetProgamIdFromXIF(const std::string &path)
{
    DebugLog("MMain.GetProgamIdFromXIF(" + path + ")");
    if (!endsWithXif(path))
        return {};
    std::ifstream in(path, std::ios::binary);
    std::string line;
    for (int i = 0; i < 4 && getBoundedLine(in, line); ++i) {
    }
    if (trim(line).empty())
        getBoundedLine(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::vector<std::string> bytes;
    for (std::size_t pos = 0; pos < 22 && pos < line.size(); pos += 3)
        bytes.push_back(line.substr(pos, 2));
    if (bytes.empty())
        return {};
    std::string id;
    if (line.front() < '8') {
        for (const auto &b : bytes) {
            if (b == "00") {
                id.push_back(' ');
            } else {
                unsigned code = 0;
                std::from_chars(b.data(), b.data() + b.size(), code, 16);
                id.push_back(static_cast<char>(code));
            }
        }
        id.append(8, ' ');
    } else {
        for (const auto &b : bytes)
            id += b;
    }
    return id;
}

}  // namespace tellumic
