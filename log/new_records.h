#pragma once

// The "New Records" retrieval: every record the meter logged after the last one stored in
// the device's CSV file, or its whole log when the file holds none yet. The Logging tab and
// the harvest both take their range, request and estimate from here.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "log/log_records.h"

namespace tellumic {

// The most records a request other than "Full Log" asks for: the meter's whole log.
inline constexpr std::int32_t kMaxLogRecords = 24192;

// The channel's record rates of the two record formats, which the estimates count on.
inline constexpr double kShortRecordsPerSecond = 14.5;
inline constexpr double kLongRecordsPerSecond = 4.6;

// What a download asks the meter for (the fields of ReadLogDataFtp).
struct LogRequest
{
    std::uint8_t mode = 0;
    std::int32_t count = 0;
    LogDateTime stopDateTime;
    std::int32_t stopRecnum = 0;
};

// The record a New Records download stops at: 1, or the meter's oldest record when it is
// known, or the record after the file's last one when the file holds a record. Above the
// 32-bit range when the file already holds the highest record number.
std::int64_t newRecordsStop(std::optional<std::int32_t> oldestRecnum, std::optional<std::int32_t> fileLastRecnum);

// The request of a New Records download that stops at stop, or, when no record can be
// newer than the file's last, the text that refuses it (shown with "Error downloading log").
std::variant<LogRequest, std::string> newRecordsRequest(std::int64_t stop);

// How many records a New Records download brings by the meter's log information: newest
// less the file's last record, or the whole log when the file holds none; 0 to kMaxLogRecords.
std::int64_t newRecordsCount(const LogInfo &info, std::optional<std::int32_t> fileLastRecnum);

// The records per second of the channel for a record format.
double channelRecordsPerSecond(bool isShort);
// The estimated time of a download of n records at the channel's rate, plus 10 %.
double logEstimateSeconds(double records, bool isShort);

}  // namespace tellumic
