#include "log/new_records.h"

#include <algorithm>
#include <limits>

#include "log/log_transfer.h"

namespace tellumic {

std::int64_t newRecordsStop(std::optional<std::int32_t> oldestRecnum, std::optional<std::int32_t> fileLastRecnum)
{
    std::int64_t stop = 1;
    if (oldestRecnum)
        stop = *oldestRecnum;
    if (fileLastRecnum)
        stop = static_cast<std::int64_t>(*fileLastRecnum) + 1;
    return stop;
}

std::variant<LogRequest, std::string> newRecordsRequest(std::int64_t stop)
{
    // After the highest record number a meter can send, no record can be new.
    if (stop > std::numeric_limits<std::int32_t>::max())
        return "Invalid ending record number for download\r\nThe log file already holds record " +
               std::to_string(stop - 1) + ", the highest record number";
    LogRequest request;
    request.mode = LogMode::kBackToRecord;
    request.count = kMaxLogRecords;
    request.stopRecnum = static_cast<std::int32_t>(stop);
    return request;
}

std::int64_t newRecordsCount(const LogInfo &info, std::optional<std::int32_t> fileLastRecnum)
{
    const std::int64_t newest = info.newest.recordNumber;
    const std::int64_t n = fileLastRecnum ? newest - *fileLastRecnum : newest - info.oldest.recordNumber + 1;
    return std::clamp<std::int64_t>(n, 0, kMaxLogRecords);
}

double channelRecordsPerSecond(bool isShort)
{
    return isShort ? kShortRecordsPerSecond : kLongRecordsPerSecond;
}

double logEstimateSeconds(double records, bool isShort)
{
    return records / channelRecordsPerSecond(isShort) * 1.1;
}

}  // namespace tellumic
