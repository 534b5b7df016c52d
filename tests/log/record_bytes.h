#pragma once

// Raw meter log records built from decoded fields, with their check values, for tests and
// benchmarks: the inverse of LoadLogData.

#include <bit>
#include <cstdint>
#include <vector>

#include "log/crc.h"
#include "log/log_records.h"

namespace tellumic::test {

inline void putBe(std::vector<std::uint8_t> &out, std::uint32_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Appends r in its wire form; the check value is computed unless keepCheck is set, in which
// case r's checkByte / storedCrc16 go out as they are.
inline void appendRecordBytes(std::vector<std::uint8_t> &out, const LogRecord &r, bool isShort, bool keepCheck = false)
{
    const std::size_t start = out.size();
    out.push_back(r.recordType);
    putBe(out, static_cast<std::uint32_t>(r.recordNumber), 4);
    out.push_back(r.flags);
    putBe(out, static_cast<std::uint32_t>(r.dateTime.year), 2);
    for (std::uint8_t b : {r.dateTime.month, r.dateTime.day, r.dateTime.hour, r.dateTime.minute, r.dateTime.second})
        out.push_back(b);
    putBe(out, static_cast<std::uint32_t>(r.logSeconds), 2);
    putBe(out, std::bit_cast<std::uint32_t>(r.demand), 4);
    putBe(out, static_cast<std::uint32_t>(r.energySum), 4);
    if (isShort) {
        out.push_back(keepCheck ? r.checkByte : crc8(std::span(out).subspan(start, 23)));
        return;
    }
    out.push_back(r.checkByte);
    putBe(out, static_cast<std::uint32_t>(r.energyPosSum), 4);
    for (std::int32_t e : r.energy)
        putBe(out, static_cast<std::uint32_t>(e), 4);
    putBe(out, static_cast<std::uint32_t>(r.reacEnergySum), 4);
    for (float v : r.volts)
        putBe(out, std::bit_cast<std::uint32_t>(v), 4);
    putBe(out, std::bit_cast<std::uint32_t>(r.frequency), 4);
    for (float v : r.power)
        putBe(out, std::bit_cast<std::uint32_t>(v), 4);
    for (float v : r.reacPower)
        putBe(out, std::bit_cast<std::uint32_t>(v), 4);
    const std::uint16_t crc = keepCheck ? static_cast<std::uint16_t>(r.storedCrc16)
                                        : Crc16(std::span(out).subspan(start), 84);
    putBe(out, crc, 2);
}

// A plausible record numbered n, 15 minutes after the one before.
inline LogRecord sampleRecord(std::int32_t n, bool isShort)
{
    LogRecord r;
    r.recordType = kLogRecordType;
    r.recordNumber = n;
    r.flags = n % 97 == 0 ? LogFlag::kPowerFail | LogFlag::kReset : 0;
    const int minutes = n * 15;
    r.dateTime = {2011, static_cast<std::uint8_t>(1 + minutes / 43200 % 12), static_cast<std::uint8_t>(1 + minutes / 1440 % 28),
                  static_cast<std::uint8_t>(minutes / 60 % 24), static_cast<std::uint8_t>(minutes % 60), 0};
    r.logSeconds = 900;
    r.demand = 1234.5f + static_cast<float>(n % 1000);
    r.energySum = 100000 + n * 3;
    if (!isShort) {
        r.energyPosSum = 90000 + n * 3;
        r.energy = {30000 + n, 31000 + n, 29000 + n};
        r.reacEnergySum = 5000 + n;
        r.volts = {230.1f, 229.8f, 231.4f};
        r.frequency = 50.01f;
        r.power = {4100.5f + static_cast<float>(n % 50), 3900.25f, 12050.0f};
        r.reacPower = {820.5f, -410.0f, 1500.75f};
    }
    return r;
}

inline std::vector<std::uint8_t> sampleLog(std::int32_t first, std::int32_t count, bool isShort)
{
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(count) * recordSize(isShort));
    for (std::int32_t n = first; n < first + count; ++n)
        appendRecordBytes(out, sampleRecord(n, isShort), isShort);
    return out;
}

// Records as the meter sends them: newest first, count of them down from newest.
inline std::vector<std::uint8_t> receivedLog(std::int32_t newest, std::int32_t count, bool isShort)
{
    std::vector<std::uint8_t> out;
    for (std::int32_t n = newest; n > newest - count; --n)
        appendRecordBytes(out, sampleRecord(n, isShort), isShort);
    return out;
}

}  // namespace tellumic::test
