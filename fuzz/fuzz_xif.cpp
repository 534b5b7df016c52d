// Arbitrary files as XIF files: the program-ID reader over their lines, and the converter
// from the file on disk into an XFB file, which either succeeds with a well-formed XFB or
// says why not and leaves no file.

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "foundation/text.h"
#include "fuzz/fuzz_common.h"
#include "sim/xif_files.h"

namespace {
std::filesystem::path g_folder;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    g_folder = std::filesystem::temp_directory_path() / ("tellumic-fuzz-xif-" + std::to_string(::getpid()));
    std::filesystem::create_directories(g_folder);
    std::atexit([] { std::filesystem::remove_all(g_folder); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic;
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::istringstream in(text);
    const auto head = sim::readXifProgramId([&](std::string &line) { return static_cast<bool>(std::getline(in, line)); });
    FUZZ_CHECK(head.id.empty() || (head.id.size() == 16 && head.id.find_first_not_of("0123456789ABCDEF") == std::string::npos));
    FUZZ_CHECK(head.line == 0 || head.line == 4 || head.line == 5);

    const auto xif = g_folder / "in.xif";
    const auto xfb = g_folder / "out.XFB";
    std::filesystem::remove(xfb);
    {
        std::ofstream out(xif, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    const std::string id = sim::xifProgramId(xif);
    const std::string why = sim::convertXifToXfb(xif, xfb);
    if (why.empty()) {
        std::ifstream back(xfb, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(back)), std::istreambuf_iterator<char>());
        FUZZ_CHECK(bytes.size() >= 12 && bytes.starts_with("XFB1"));
        FUZZ_CHECK(!id.empty());
        // The interface lines follow, each with its 16-bit length.
        std::size_t at = 12;
        while (at + 2 <= bytes.size())
            at += 2 + (static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) << 8 | static_cast<unsigned char>(bytes[at + 1]));
        FUZZ_CHECK(at == bytes.size());
    } else {
        FUZZ_CHECK(!std::filesystem::exists(xfb));
    }
    return 0;
}
