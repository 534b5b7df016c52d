// Raw file-5 bytes through the download's decoding and CSV text. Built twice, for short
// and for long records (FUZZ_SHORT_RECORDS).

#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_common.h"
#include "log/log_csv.h"
#include "log/log_transfer.h"

namespace {
constexpr bool kShort = FUZZ_SHORT_RECORDS != 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic;
    const std::span<const std::uint8_t> bytes(data, size);
    const std::size_t records = receivedRecordCount(size, kShort);
    for (const bool keepBad : {false, true}) {
        std::string text;
        appendReceivedLogCsv(text, true, bytes, records, kShort, keepBad);
        // Every line, header included, has the same fields: no value or note holds a comma.
        const std::size_t commas = kShort ? 12 : 35;
        std::size_t lines = 0;
        for (std::size_t at = 0; at < text.size(); ++lines) {
            const std::size_t eol = text.find("\r\n", at);
            FUZZ_CHECK(eol != std::string::npos);
            FUZZ_CHECK(static_cast<std::size_t>(std::count(text.begin() + static_cast<long>(at),
                                                           text.begin() + static_cast<long>(eol), ',')) == commas);
            at = eol + 2;
        }
        FUZZ_CHECK(lines == records + 2);
    }
    // A record asked for anywhere, even past the end, comes back decoded or empty.
    if (size > 0) {
        const LogRecord r = LoadLogData(bytes, data[0] * 3u, kShort);
        if (data[0] * 3u + recordSize(kShort) > size)
            FUZZ_CHECK(r.recordType == 0 && r.recordNumber == 0 && !r.crcGood);
    }
    return 0;
}
