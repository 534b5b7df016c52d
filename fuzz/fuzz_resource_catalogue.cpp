// Arbitrary resource files and catalogue indexes: the catalogue opens, refreshes and
// answers whatever the files hold. The first byte says whether the input is a resource
// file in a registered folder or the index itself.

#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>

#include "fuzz/fuzz_common.h"
#include "sim/resource_files.h"

namespace {
std::filesystem::path g_lonWorks;

void write(const std::filesystem::path &file, std::string_view text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    g_lonWorks = std::filesystem::temp_directory_path() / ("tellumic-fuzz-cat-" + std::to_string(::getpid()));
    std::filesystem::create_directories(g_lonWorks / "Types");
    std::atexit([] { std::filesystem::remove_all(g_lonWorks); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic;
    if (size < 1)
        return 0;
    const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);
    const auto types = g_lonWorks / "Types";
    for (const auto &e : std::filesystem::directory_iterator(types))
        std::filesystem::remove_all(e.path());
    if (data[0] & 1) {
        write(types / "ldrf.cat", text);
    } else {
        write(types / "ldrf.cat", types.string() + "\n");
        write(types / ((data[0] & 2) ? "FUZZ.fpt" : "FUZZ.typ"), text);
    }
    auto catalogue = sim::makeResourceCatalogue();
    if (catalogue->open(g_lonWorks.string()) != ResourceCatalogue::kSuccess)
        return 0;
    const auto r = catalogue->query("0000000000000000", 0);
    FUZZ_CHECK(r.code == ResourceCatalogue::kSuccess || r.code == ResourceCatalogue::kNotFound);
    catalogue->findFunctionalProfile(static_cast<std::int32_t>(size), 0);
    FUZZ_CHECK(catalogue->refresh() == ResourceCatalogue::kSuccess);
    FUZZ_CHECK(catalogue->close() == ResourceCatalogue::kSuccess);
    return 0;
}
