#pragma once

// The meter's log on the wire: the read request (file 4), the log information (file 3)
// and the interval records (file 5), all big-endian.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "model/date_time.h"

namespace tellumic {

inline constexpr std::size_t kShortRecordSize = 24;
inline constexpr std::size_t kLongRecordSize = 86;
inline constexpr std::size_t kLogSetupSize = 42;
inline constexpr std::int32_t kLogInfoRequestSize = 35;

// The record format byte of a request.
inline constexpr std::uint8_t kLongRecordFormat = 2;
inline constexpr std::uint8_t kShortRecordFormat = 3;

// Only records of this type carry values; any other type is reported as unrecognised.
inline constexpr std::uint8_t kLogRecordType = 1;

inline constexpr std::size_t recordSize(bool isShort)
{
    return isShort ? kShortRecordSize : kLongRecordSize;
}

// Event flags of a record, by bit. Bit 0 means nothing to the plug-in.
namespace LogFlag {
inline constexpr std::uint8_t kReset = 1u << 1;
inline constexpr std::uint8_t kError = 1u << 2;
inline constexpr std::uint8_t kOnline = 1u << 3;
inline constexpr std::uint8_t kCfgChange = 1u << 4;
inline constexpr std::uint8_t kCalChange = 1u << 5;
inline constexpr std::uint8_t kClockChange = 1u << 6;
inline constexpr std::uint8_t kPowerFail = 1u << 7;
}  // namespace LogFlag

// One end of a range of records. Fields A and B are the meter's; the plug-in carries them.
struct LogPosition
{
    std::int32_t recordNumber = 0;
    std::int16_t fieldA = 0;
    std::int16_t fieldB = 0;
    LogDateTime dateTime;

    friend bool operator==(const LogPosition &, const LogPosition &) = default;
};

// The read request the meter is sent before the records are read.
struct LogSetup
{
    std::uint8_t mode = 0;
    std::int32_t count = 0;
    LogPosition start;
    LogPosition stop;
    std::uint8_t reserved1 = 0;
    std::int32_t reserved2 = 0;
    std::uint8_t recordFormat = 0;
    std::uint8_t reserved3 = 0;
};

// The meter's log extent.
struct LogInfo
{
    LogPosition newest;
    LogPosition oldest;
    std::array<std::uint8_t, 3> bytes{};

    friend bool operator==(const LogInfo &, const LogInfo &) = default;
};

// One decoded interval record; the long-only fields stay 0 for short records.
struct LogRecord
{
    std::uint8_t recordType = 0;
    std::int32_t recordNumber = 0;
    std::uint8_t flags = 0;
    LogDateTime dateTime;
    std::int32_t logSeconds = 0;
    float demand = 0;
    std::int32_t energySum = 0;
    std::uint8_t checkByte = 0;

    std::int32_t energyPosSum = 0;
    std::array<std::int32_t, 3> energy{};
    std::int32_t reacEnergySum = 0;
    std::array<float, 3> volts{};
    float frequency = 0;
    std::array<float, 3> power{};
    std::array<float, 3> reacPower{};
    std::int32_t storedCrc16 = 0;

    bool crcGood = false;
};

// The request in its 42-byte wire form.
std::array<std::uint8_t, kLogSetupSize> LogSetupToBytes(const LogSetup &setup);

// Decodes the record starting at bytes[offset] (offset counts from the first byte received).
// A record cut off by the end of the data comes back with every field 0; a year that does
// not fit 16 signed bits stops the decoding there. Both are reported to the user and the
// record is returned as far as it was decoded. A failed check is no error: crcGood is false.
LogRecord LoadLogData(std::span<const std::uint8_t> bytes, std::size_t offset, bool isShort);

// The interval records among bytes (whole records only) that passed their check and are
// numbered outside first..last: a meter asked for a part of its log that sends others does
// not take the request's start record.
std::size_t GoodRecordsOutside(std::span<const std::uint8_t> bytes, bool isShort, std::int32_t first, std::int32_t last);

// Decodes the log information. Fields after one that cannot be read stay 0; the failure is
// reported to the user.
LogInfo LoadLogInfo(std::span<const std::uint8_t> bytes);

// The date as a day count from 1899-12-30 with the time of day as the fraction. Years 0 to 29
// are taken as 2000 to 2029 and 30 to 99 as 1930 to 1999. RuntimeError 13 when the fields do
// not make a valid date and time.
double TimestampToDate(const LogDateTime &dateTime);

}  // namespace tellumic
