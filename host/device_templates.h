#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "foundation/object_server.h"

namespace tellumic {

// Resource files and device templates of the meters.
struct DeviceTemplateState
{
    bool DrfValidated = false;
    std::string XifSearchRoot;
};
DeviceTemplateState &deviceTemplateState();

// "" when the maker's resource files are in the catalogue at the expected version;
// otherwise the report the user is asked about.
std::string ValidateDrfFiles();
bool RefreshLdrfCatalog();
// Sets the mode of the current device's LonMark objects from the catalogue; showTitle
// puts progress texts in the device window's title bar.
bool DrfLookUp(lns::AppDevice &device, const std::function<void(const std::string &)> &showTitle);

std::string ImportTemplateFromXIF(lns::System &system, const std::string &programId, const std::string &model);
std::string Get_XIF_from_Import(lns::System &system, const std::string &programId);
std::string XIF_and_XFB(const std::string &xifPath);
std::string FindName(lns::System &system, const std::string &baseName);
// Searches at most a few folder levels below folder and never follows a link to a folder.
std::string LocateXif(const std::string &folder, const std::string &programId, int depth = 0);
bool IsDirectory(const std::string &path);
std::string GetProgamIdFromXIF(const std::string &path);

}  // namespace tellumic
