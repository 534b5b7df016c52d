// Arbitrary bytes through the log viewer's CSV reader, fed whole and in pieces: the reader
// holds no more records than its limit, and where the bytes are cut makes no difference.

#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_common.h"
#include "logview/log_csv_reader.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic::logview;
    if (size < 1)
        return 0;
    // The first byte chooses the record limit and the size of the pieces.
    const std::size_t limit = 1 + data[0] % 64;
    const std::size_t piece = 1 + data[0] / 4;
    const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);

    LogCsvReader whole(limit);
    whole.feed(text);
    LogCsvReader pieces(limit);
    for (std::size_t at = 0; at < text.size(); at += piece)
        if (!pieces.feed(text.substr(at, piece)))
            break;

    FUZZ_CHECK(whole.raw().recordNumber.size() <= limit);
    FUZZ_CHECK(whole.raw().recordNumber.size() == whole.raw().time.size());
    FUZZ_CHECK(whole.failed() == pieces.failed());
    FUZZ_CHECK(whole.raw().recordNumber == pieces.raw().recordNumber);
    FUZZ_CHECK(whole.raw().time == pieces.raw().time);
    FUZZ_CHECK(whole.bytesFed() <= text.size() && pieces.bytesFed() <= text.size());
    const auto report = whole.report();
    FUZZ_CHECK(report.skippedTotal() <= report.lines + 1);
    return 0;
}
