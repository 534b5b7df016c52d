#pragma once

// The LonWorks resource catalogue of the simulated installation, and the resource files it
// lists. The catalogue is the list of registered resource folders, one line each, in the
// file "ldrf.cat" of the "Types" folder. A resource folder holds small text files, one per
// kind (1 types, 2 formats, 3 language, 4 functional profiles), each naming its program-ID
// template, its scope, its version and, for kind 4, the keys of the profiles it defines:
//
//     ProgramIdTemplate=80B7E50000000000
//     Scope=3
//     Kind=4
//     Version=1.5
//     Profiles=20010 20011 20012

#include <filesystem>
#include <memory>

#include "foundation/resource_catalogue.h"

namespace tellumic::sim {

// A catalogue to be opened at a LonWorks folder or at its "Types" folder.
std::unique_ptr<ResourceCatalogue> makeResourceCatalogue();

// Writes the standard resource set (scope 0) at the root of the "Types" folder and the
// meter maker's set under "Types/User/HVI" in the given version, and registers both.
void installResourceFiles(const std::filesystem::path &lonWorksFolder, int major = 1, int minor = 5);
// Removes the maker's set and its registration (the "not present" case).
void removeMakerResourceFiles(const std::filesystem::path &lonWorksFolder);

}  // namespace tellumic::sim
