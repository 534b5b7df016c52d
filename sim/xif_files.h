#pragma once

// External interface files (XIF) of the simulated meters, and their compiled form (XFB).
//
// An XIF file is text: three header lines, the program ID as eight hexadecimal byte pairs
// separated by colons on the fourth line (or on the fifth, after a blank fourth), then one
// line per functional block and NV. The XFB file is the same interface in binary form:
// "XFB1", the eight program-ID bytes, then each interface line as a 16-bit length and its
// bytes.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tellumic::sim {

// The XIF text of a program ID's interface; blankFourth puts the program ID on line 5.
std::string xifText(const std::string &programId, const std::string &model, bool blankFourth);

// Writes an XIF file for every supported meter into the import folder: some at its top,
// some with a blank fourth line, some in subfolders. Existing files are kept. Returns the
// files written.
std::vector<std::filesystem::path> writeXifFiles(const std::filesystem::path &importFolder);

// The program-ID line of an XIF file read through nextLine (the file's next line, false at
// its end): line 4, or line 5 when line 4 is blank. A CR left of a CR LF line end does not
// count. id: the eight byte pairs in capitals, "" when the line holds none; line: its number,
// 0 when the file ended before it.
struct XifProgramIdLine
{
    std::string id;
    int line = 0;
};
XifProgramIdLine readXifProgramId(const std::function<bool(std::string &line)> &nextLine);

// The program ID of an XIF file, reading its head only; "" when it has none or cannot be read.
std::string xifProgramId(const std::filesystem::path &file);

// The longest interface line an XFB file can hold (its length is a 16-bit field), and the
// largest XIF file the converter reads.
inline constexpr std::size_t kMaxXifLineLength = 0xFFFF;
inline constexpr std::uintmax_t kMaxXifFileBytes = 64u << 20;

// Converts an XIF file into its XFB file. Returns "" on success, otherwise why it could
// not (the XIF file missing, unreadable, not a file, without a program ID, with a line too
// long; the XFB path unwritable or not a file). A failed conversion leaves the XFB path
// as it was: only the converter's own temporary file is removed.
std::string convertXifToXfb(const std::filesystem::path &xif, const std::filesystem::path &xfb);

}  // namespace tellumic::sim
