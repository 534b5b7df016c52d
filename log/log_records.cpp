#include "log/log_records.h"

#include <algorithm>
#include <cmath>

#include "foundation/dialogs.h"
#include "foundation/trace_log.h"
#include "log/byte_reader.h"
#include "log/crc.h"

namespace tellumic {

namespace {

RuntimeError overflow()
{
    return RuntimeError(ErrorNumber::kOverflow, "Overflow");
}

// A 16-bit field taken as a signed value that must not be negative (the year of a record,
// fields A and B of a position): 0x8000 and above overflow.
std::int32_t readNonNegative16(const ByteReader &r, std::size_t at)
{
    const std::uint16_t v = r.u16(at);
    if (v >= 0x8000)
        throw overflow();
    return v;
}

void putPosition(std::array<std::uint8_t, kLogSetupSize> &out, std::size_t at, const LogPosition &p)
{
    putBigEndian(out, at, static_cast<std::uint32_t>(p.recordNumber), 4);
    putBigEndian(out, at + 4, static_cast<std::uint16_t>(p.fieldA), 2);
    putBigEndian(out, at + 6, static_cast<std::uint16_t>(p.fieldB), 2);
    putBigEndian(out, at + 8, static_cast<std::uint32_t>(p.dateTime.year), 2);
    out[at + 10] = p.dateTime.month;
    out[at + 11] = p.dateTime.day;
    out[at + 12] = p.dateTime.hour;
    out[at + 13] = p.dateTime.minute;
    out[at + 14] = p.dateTime.second;
}

// The fields follow the wire order, so a failure leaves the later ones 0.
void decodeInto(const ByteReader &r, bool isShort, LogRecord &rec)
{
    rec.recordType = r.u8(0);
    rec.recordNumber = r.i32(1);
    rec.flags = r.u8(5);
    rec.dateTime.year = readNonNegative16(r, 6);
    rec.dateTime.month = r.u8(8);
    rec.dateTime.day = r.u8(9);
    rec.dateTime.hour = r.u8(10);
    rec.dateTime.minute = r.u8(11);
    rec.dateTime.second = r.u8(12);
    rec.logSeconds = r.u16(13);
    rec.demand = r.f32(15);
    rec.energySum = r.i32(19);
    rec.checkByte = r.u8(23);
    if (isShort)
        return;
    rec.energyPosSum = r.i32(24);
    for (std::size_t p = 0; p < 3; ++p)
        rec.energy[p] = r.i32(28 + 4 * p);
    rec.reacEnergySum = r.i32(40);
    for (std::size_t p = 0; p < 3; ++p)
        rec.volts[p] = r.f32(44 + 4 * p);
    rec.frequency = r.f32(56);
    for (std::size_t p = 0; p < 3; ++p)
        rec.power[p] = r.f32(60 + 4 * p);
    for (std::size_t p = 0; p < 3; ++p)
        rec.reacPower[p] = r.f32(72 + 4 * p);
    rec.storedCrc16 = r.u16(84);
}

void decodeRecord(std::span<const std::uint8_t> bytes, std::size_t offset, bool isShort, LogRecord &rec)
{
    const std::size_t size = recordSize(isShort);
    if (offset > bytes.size() || bytes.size() - offset < size)
        throw RuntimeError(ErrorNumber::kSubscriptOutOfRange, "Subscript out of range");
    const auto work = bytes.subspan(offset, size);
    decodeInto(ByteReader(work), isShort, rec);
    if (isShort)
        rec.crcGood = crc8(work.first(23)) == rec.checkByte;
    else
        rec.crcGood = Crc16(work, 84) == rec.storedCrc16;
}

void readPosition(const ByteReader &r, std::size_t at, LogPosition &p)
{
    const std::uint32_t number = r.u32(at);
    if (number >= 0x80000000u)
        throw overflow();
    p.recordNumber = static_cast<std::int32_t>(number);
    p.fieldA = static_cast<std::int16_t>(readNonNegative16(r, at + 4));
    p.fieldB = static_cast<std::int16_t>(readNonNegative16(r, at + 6));
    p.dateTime.year = r.u16(at + 8);
    p.dateTime.month = r.u8(at + 10);
    p.dateTime.day = r.u8(at + 11);
    p.dateTime.hour = r.u8(at + 12);
    p.dateTime.minute = r.u8(at + 13);
    p.dateTime.second = r.u8(at + 14);
}

}  // namespace

std::array<std::uint8_t, kLogSetupSize> LogSetupToBytes(const LogSetup &setup)
{
    std::array<std::uint8_t, kLogSetupSize> out{};
    out[0] = setup.mode;
    putBigEndian(out, 1, static_cast<std::uint32_t>(setup.count), 4);
    putPosition(out, 5, setup.start);
    putPosition(out, 20, setup.stop);
    out[35] = setup.reserved1;
    putBigEndian(out, 36, static_cast<std::uint32_t>(setup.reserved2), 4);
    out[40] = setup.recordFormat;
    out[41] = setup.reserved3;
    return out;
}

LogRecord LoadLogData(std::span<const std::uint8_t> bytes, std::size_t offset, bool isShort)
{
    DebugLog("MLogFtp.LoadLogData()");
    LogRecord rec;
    try {
        decodeRecord(bytes, offset, isShort, rec);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MLogFtp.LoadLogData()," + errorText(e));
        MsgBox("LogLoadData() - " + errorText(e));
    }
    return rec;
}

std::size_t GoodRecordsOutside(std::span<const std::uint8_t> bytes, bool isShort, std::int32_t first, std::int32_t last)
{
    std::size_t outside = 0;
    const std::size_t size = recordSize(isShort);
    for (std::size_t offset = 0; offset + size <= bytes.size(); offset += size) {
        LogRecord rec;
        try {
            decodeRecord(bytes, offset, isShort, rec);
        } catch (const RuntimeError &) {
            continue;  // not a record to judge by; the decoding of the download reports it
        }
        if (rec.recordType == kLogRecordType && rec.crcGood && (rec.recordNumber < first || rec.recordNumber > last))
            ++outside;
    }
    return outside;
}

LogInfo LoadLogInfo(std::span<const std::uint8_t> bytes)
{
    DebugLog("MLogFtp.LoadLogInfo()");
    LogInfo info;
    try {
        const ByteReader r(bytes);
        readPosition(r, 0, info.newest);
        readPosition(r, 15, info.oldest);
        for (std::size_t i = 0; i < info.bytes.size(); ++i)
            info.bytes[i] = r.u8(30 + i);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MLogFtp.LoadLogInfo()," + errorText(e));
        MsgBox("LogLoadInfo() - " + errorText(e));
    }
    return info;
}

double TimestampToDate(const LogDateTime &dt)
{
    DebugLog("MLogFtp.TimestampToDate()");
    std::int32_t year = dt.year;
    if (year >= 0 && year <= 29)
        year += 2000;
    else if (year >= 30 && year <= 99)
        year += 1900;
    const bool valid = year >= 100 && year <= 9999 && isCalendarDate(year, dt.month, dt.day) && dt.hour < 24 &&
                       dt.minute < 60 && dt.second < 60;
    if (!valid)
        throw RuntimeError(ErrorNumber::kTypeMismatch, "Type mismatch");
    // Day 0 of this count is 1899-12-30, 25569 days before 1970-01-01.
    const double days = static_cast<double>(daysFromCivil(year, dt.month, dt.day) + 25569);
    const double fraction = (dt.hour * 3600.0 + dt.minute * 60.0 + dt.second) / 86400.0;
    // Before day 0 the fraction counts forward from the whole day too, but the sign is the day's.
    return days >= 0 ? days + fraction : days - fraction;
}

}  // namespace tellumic
