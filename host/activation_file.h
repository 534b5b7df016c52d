#pragma once

#include <filesystem>
#include <string>

namespace tellumic {

// The D-Bus activation file of the plug-in's bus name, in the user's services folder
// ($XDG_DATA_HOME/dbus-1/services, or ~/.local/share/dbus-1/services). It takes precedence
// over the one an installed package puts into the machine's folder.
std::filesystem::path activationFilePath();

// The program that file has the bus start (its Exec line, past "/usr/bin/env" and the
// variables it sets); empty when there is no file or it names no program.
std::filesystem::path activatedProgram();

// For a person about to use the plug-in `program`: a note when the user's activation file
// has the bus start another program (one an earlier /regserver from elsewhere, such as a
// build tree, left there); "" when it starts `program` or there is none.
std::string otherActivationNote(const std::filesystem::path &program);

}  // namespace tellumic
