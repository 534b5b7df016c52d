#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tellumic {

// Everything on disk hangs below one root: $TELLUMIC_HOME, or $XDG_DATA_HOME/tellumic,
// or ~/.local/share/tellumic.
std::filesystem::path tellumicHome();

// Where the product's program NAME ("XIF32BIN", "tellumic-plugin", "tellumic-log", ...)
// is, seen from the running program. Installed, every program sits in one bin folder beside
// the running one; in a build tree (a CMakeCache.txt above the running program's folder)
// the plug-in is built into host/ and the tools into tools/. Nothing else guesses paths.
std::filesystem::path programPath(std::string_view name);

// The plug-in's program folder: trace file, "EnableLog.txt", CSV logs, calibration records.
std::filesystem::path programFolder();

// The registry store (a SQLite database).
std::filesystem::path registryStorePath();

// A path written the Windows way ("C:\LonWorks\types\User\HVI" style separators) as a
// path of this machine: backslashes become slashes.
std::filesystem::path nativePath(std::string_view path);

// Joins a folder and a name as the plug-in's texts do ("\" + name), giving a native path.
std::filesystem::path joinPath(std::string_view folder, std::string_view name);

}  // namespace tellumic
