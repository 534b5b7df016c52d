// Arbitrary file contents through the scan for the last stored record, as a file on disk
// and as the text of the file's end.

#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>

#include "fuzz/fuzz_common.h"
#include "log/log_csv.h"

namespace {
std::filesystem::path g_file;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    g_file = std::filesystem::temp_directory_path() / ("tellumic-fuzz-" + std::to_string(::getpid()) + ".csv");
    std::atexit([] { std::filesystem::remove(g_file); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    LastLogRecord scanned;
    try {
        scanLastLogRecnum(text.substr(text.size() > 4000 ? text.size() - 4000 : 0), scanned);
    } catch (const RuntimeError &) {
        // A record number that is no 32-bit number ends the scan; what came before stands.
    }
    {
        std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    LogDateTime dateTime;
    const std::int32_t found = FindLastLogRecnum(g_file, dateTime);
    FUZZ_CHECK(found == scanned.recordNumber);
    if (found != 0)
        FUZZ_CHECK(dateTime == scanned.dateTime);
    return 0;
}
