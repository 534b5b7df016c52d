#pragma once

// External interface files (XIF) of the simulated meters, and their compiled form (XFB).
//
// An XIF file is text: three header lines, the program ID as eight hexadecimal byte pairs
// separated by colons on the fourth line (or on the fifth, after a blank fourth), then one
// line per functional block and NV. The XFB file is the same interface in binary form:
// "XFB1", the eight program-ID bytes, then each interface line as a 16-bit length and its
// bytes.

#include <filesystem>
#include <string>
#include <vector>

namespace tellumic::sim {

// The XIF text of a program ID's interface; blankFourth puts the program ID on line 5.
std::string xifText(const std::string &programId, const std::string &model, bool blankFourth);

// Writes an XIF file for every supported meter into the import folder: some at its top,
// some with a blank fourth line, some in subfolders. Existing files are kept. Returns the
// files written.
std::vector<std::filesystem::path> writeXifFiles(const std::filesystem::path &importFolder);

// Converts an XIF file into its XFB file; false (and no XFB file) when the XIF has no
// program ID or cannot be read or written.
bool convertXifToXfb(const std::filesystem::path &xif, const std::filesystem::path &xfb);

}  // namespace tellumic::sim
