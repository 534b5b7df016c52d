#include "log/log_csv.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "foundation/clock.h"
#include "foundation/dialogs.h"
#include "foundation/paths.h"
#include "foundation/runtime_error.h"
#include "foundation/trace_log.h"
#include "log/log_file.h"
#include "log/log_window.h"
#include "model/number_format.h"

namespace tellumic {

namespace {

constexpr std::string_view kShortHeader =
    "RecordNum,DateTime,EnergySum,Demand,LogSeconds,PowerFail,ClockChange,CalChange,CfgChange,Online,Error,Reset,"
    "Notes\r\n"
    ",YYYY-MM-DD hh:mm:ss,kWh,Watt,Seconds,,,,,,,,";
constexpr std::string_view kLongHeader =
    "RecordNum,DateTime,EnergySum,Demand,EnergyPosSum,EnergyA,EnergyB,EnergyC,ReacEngySum,PowerSum,PowerA,PowerB,"
    "PowerC,ReacPowerSum,ReacPowerA,ReacPowerB,ReacPowerC,VoltsA,VoltsB,VoltsC,CurrentA,CurrentB,CurrentC,PF-A,PF-B,"
    "PF-C,Frequency,LogSeconds,PowerFail,ClockChange,CalChange,CfgChange,Online,Error,Reset,Notes\r\n"
    ",YYYY-MM-DD hh:mm:ss,kWh,Watt,kWh,kWh,kWh,kWh,kVARh,Watt,Watt,Watt,Watt,VAR,VAR,VAR,VAR,Volt,Volt,Volt,Amp,Amp,"
    "Amp,,,,Hz,Seconds,,,,,,,,";

constexpr std::size_t kShortHeaderBreak = kShortHeader.find("\r\n");
constexpr std::size_t kLongHeaderBreak = kLongHeader.find("\r\n");

// Empty value fields of a line that carries only a note.
constexpr std::string_view kShortNoValues = ",,,,,,,,,,,,";
constexpr std::string_view kLongNoValues = ",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,";
static_assert(kShortNoValues.size() == 12 && kLongNoValues.size() == 35);

// Energy in tenths shows its last digit after the point and no zero before it (5 is ".5").
constexpr NumberPattern kEnergy = NumberPattern::parse("#.0");
constexpr NumberPattern kPowerSmall = NumberPattern::parse("####0.00");
constexpr NumberPattern kPowerMedium = NumberPattern::parse("#####0.0");
constexpr NumberPattern kPowerLarge = NumberPattern::parse("########0");
constexpr NumberPattern kVolts = NumberPattern::parse("###0.0");
constexpr NumberPattern kCurrent3 = NumberPattern::parse("###0.000");
constexpr NumberPattern kCurrent2 = NumberPattern::parse("###0.00");
constexpr NumberPattern kCurrent1 = NumberPattern::parse("###0.0");
constexpr NumberPattern kCurrent0 = NumberPattern::parse("####0");
constexpr NumberPattern kPf = NumberPattern::parse("0.0000");
constexpr NumberPattern kFreq = NumberPattern::parse("##0.00");
constexpr NumberPattern kYear = NumberPattern::parse("0000");
constexpr NumberPattern kTwoDigits = NumberPattern::parse("00");

// FormatDateTime's text, without its trace and its printf: this runs for every record.
void appendDateTime(std::string &out, const LogDateTime &dt)
{
    std::int32_t year = dt.year;
    if (year < -1) {
        out.append(FormatDateTime(dt));
        return;
    }
    if (year == -1)
        year = 0;
    if (year >= 1 && year <= 99)
        year += 2000;
    appendNumber(out, year, kYear);
    const std::uint8_t fields[] = {dt.month, dt.day, dt.hour, dt.minute, dt.second};
    static constexpr char kSeparators[] = "-- ::";
    for (std::size_t i = 0; i < 5; ++i) {
        out.push_back(kSeparators[i]);
        appendNumber(out, fields[i], kTwoDigits);
    }
}

void appendEnergy(std::string &out, std::int32_t tenths)
{
    appendNumber(out, tenths / 10.0, kEnergy);
}

void appendPower(std::string &out, float watts)
{
    const NumberPattern &p = watts < 10000.0f ? kPowerSmall : watts < 100000.0f ? kPowerMedium : kPowerLarge;
    appendNumber(out, watts, p);
}

void appendCurrent(std::string &out, float amps)
{
    const NumberPattern &p = amps < 10.0f ? kCurrent3 : amps < 100.0f ? kCurrent2 : amps < 1000.0f ? kCurrent1 : kCurrent0;
    appendNumber(out, amps, p);
}

void appendInt(std::string &out, std::int64_t v)
{
    char b[24];
    const auto r = std::to_chars(b, b + sizeof b, v);
    out.append(b, r.ptr);
}

template <typename Append>
std::string formatted(std::string_view trace, Append append)
{
    DebugLog(trace);
    std::string out;
    append(out);
    return out;
}

struct FlagColumn
{
    std::uint8_t bit;
    std::string_view note;
};

// Columns run PowerFail ... Reset; notes run the other way, Reset ... Power failed.
constexpr FlagColumn kFlagColumns[] = {
    {LogFlag::kPowerFail, "Power failed. "},          {LogFlag::kClockChange, "Date/time changed. "},
    {LogFlag::kCalChange, "Calibration changed. "},   {LogFlag::kCfgChange, "Configuration changed. "},
    {LogFlag::kOnline, "Online. "},                   {LogFlag::kError, "Internal error. "},
    {LogFlag::kReset, "Reset. "},
};

void appendLongValues(std::string &out, const LogRecord &r)
{
    for (std::int32_t e : {r.energyPosSum, r.energy[0], r.energy[1], r.energy[2], r.reacEnergySum}) {
        appendEnergy(out, e);
        out.push_back(',');
    }
    const float powerSum = r.power[0] + r.power[1] + r.power[2];
    const float reacSum = r.reacPower[0] + r.reacPower[1] + r.reacPower[2];
    for (float w : {powerSum, r.power[0], r.power[1], r.power[2], reacSum, r.reacPower[0], r.reacPower[1],
                    r.reacPower[2]}) {
        appendPower(out, w);
        out.push_back(',');
    }
    for (float v : r.volts) {
        appendNumber(out, v, kVolts);
        out.push_back(',');
    }
    std::array<float, 3> pf{};
    for (std::size_t p = 0; p < 3; ++p) {
        const float va = std::sqrt(r.power[p] * r.power[p] + r.reacPower[p] * r.reacPower[p]);
        appendCurrent(out, r.volts[p] > 1.0f ? va / r.volts[p] : 0.0f);
        out.push_back(',');
        pf[p] = va > 0.01f ? r.power[p] / va : 1.0f;
    }
    for (float f : pf) {
        appendNumber(out, f, kPf);
        out.push_back(',');
    }
    appendNumber(out, r.frequency, kFreq);
    out.push_back(',');
}

void appendLine(std::string &out, const LogRecord &r, bool isShort, bool keepBad)
{
    DebugLog("MLogFtp.FormatLogDataCsv()");
    if (r.recordType != kLogRecordType) {
        out.append(isShort ? kShortNoValues : kLongNoValues);
        out.append(kUnrecognizedTypeNote);
        appendInt(out, r.recordType);
        return;
    }
    if (!r.crcGood && !keepBad) {
        out.append(isShort ? kShortNoValues : kLongNoValues);
        out.append(kCrcMismatchNote);
        return;
    }
    appendInt(out, r.recordNumber);
    out.push_back(',');
    appendDateTime(out, r.dateTime);
    out.push_back(',');
    appendEnergy(out, r.energySum);
    out.push_back(',');
    appendPower(out, r.demand);
    out.push_back(',');
    if (!isShort)
        appendLongValues(out, r);
    appendInt(out, r.logSeconds);
    for (const FlagColumn &c : kFlagColumns)
        out.append((r.flags & c.bit) ? ",1" : ",");
    out.push_back(',');
    for (auto it = std::rbegin(kFlagColumns); it != std::rend(kFlagColumns); ++it)
        if (r.flags & it->bit)
            out.append(it->note);
    if (!r.crcGood)
        out.append(kCrcMismatchNote);
}

bool unsafeInFileName(unsigned char c, bool leading)
{
    return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == '%' || (leading && c == '.');
}

// Cuts the encoded device name to fit the budget, neither inside a "%XX" escape nor inside
// a UTF-8 character, and ends it with the mark and the hash of the whole device name.
void shortenNamePart(std::string &encoded, std::string_view deviceName, std::size_t budget)
{
    std::size_t cut = budget - 2 - 16;  // room for the mark and the hash
    while (cut > 0 && (static_cast<unsigned char>(encoded[cut]) & 0xC0) == 0x80)
        --cut;
    for (std::size_t back = 1; back <= 2 && back <= cut; ++back)
        if (encoded[cut - back] == '%') {
            cut -= back;
            break;
        }
    encoded.resize(cut);
    appendNameHash(encoded, deviceName);
}

}  // namespace

void appendLogCsvValues(std::string &out, const LogCsvValues &v, bool isShort)
{
    appendInt(out, v.recordNumber);
    out.push_back(',');
    appendDateTime(out, v.dateTime);
    out.push_back(',');
    appendEnergy(out, v.energySum);
    out.push_back(',');
    appendPower(out, v.demand);
    out.push_back(',');
    if (!isShort) {
        for (std::int32_t e : {v.energyPosSum, v.energy[0], v.energy[1], v.energy[2], v.reacEnergySum}) {
            appendEnergy(out, e);
            out.push_back(',');
        }
        for (float w : {v.powerSum, v.power[0], v.power[1], v.power[2], v.reacPowerSum, v.reacPower[0],
                        v.reacPower[1], v.reacPower[2]}) {
            appendPower(out, w);
            out.push_back(',');
        }
        for (float f : v.volts) {
            appendNumber(out, f, kVolts);
            out.push_back(',');
        }
        for (float f : v.current) {
            appendCurrent(out, f);
            out.push_back(',');
        }
        for (float f : v.pf) {
            appendNumber(out, f, kPf);
            out.push_back(',');
        }
        appendNumber(out, v.frequency, kFreq);
        out.push_back(',');
    }
    appendInt(out, v.logSeconds);
    for (const FlagColumn &c : kFlagColumns)
        out.append((v.flags & c.bit) ? ",1" : ",");
    out.push_back(',');
    for (auto it = std::rbegin(kFlagColumns); it != std::rend(kFlagColumns); ++it)
        if (v.flags & it->bit)
            out.append(it->note);
}

std::string_view logCsvHeader(bool isShort)
{
    return isShort ? kShortHeader : kLongHeader;
}

std::string_view logCsvColumnsLine(bool isShort)
{
    return isShort ? kShortHeader.substr(0, kShortHeaderBreak) : kLongHeader.substr(0, kLongHeaderBreak);
}

std::string_view logCsvUnitsLine(bool isShort)
{
    return isShort ? kShortHeader.substr(kShortHeaderBreak + 2) : kLongHeader.substr(kLongHeaderBreak + 2);
}

std::string GetLogFilename(std::string_view deviceName, bool isShort)
{
    DebugLog("MLogFtp.GetLogFilename()");
    return logFileName(deviceName, isShort);
}

std::string logFileName(std::string_view deviceName, bool isShort)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    bool leading = true;
    for (char ch : deviceName) {
        const auto c = static_cast<unsigned char>(ch);
        leading = leading && c == '.';
        if (unsafeInFileName(c, leading)) {
            name.push_back('%');
            name.push_back(kHex[c >> 4]);
            name.push_back(kHex[c & 0xF]);
        } else {
            name.push_back(ch);
        }
    }
    const std::string suffix = (isShort ? "-log-short-" : "-log-full-") +
                               PadYear(toLocalTime(processClock().now()).year) + ".csv";
    // A name too long for the file system could never be created; names that fit keep the
    // form they always had, so existing logs keep their names.
    if (name.size() + suffix.size() > kMaxFileNameBytes)
        shortenNamePart(name, deviceName, kMaxFileNameBytes - suffix.size());
    return name + suffix;
}

std::string FormatEnergy(std::int32_t tenths)
{
    return formatted("MLogFtp.FormatEnergy()", [&](std::string &o) { appendEnergy(o, tenths); });
}

std::string FormatPower(float watts)
{
    return formatted("MLogFtp.FormatPower()", [&](std::string &o) { appendPower(o, watts); });
}

std::string FormatVolts(float volts)
{
    return formatted("MLogFtp.FormatVolts()", [&](std::string &o) { appendNumber(o, volts, kVolts); });
}

std::string FormatCurrent(float amps)
{
    return formatted("MLogFtp.FormatCurrent()", [&](std::string &o) { appendCurrent(o, amps); });
}

std::string FormatPf(float pf)
{
    return formatted("MLogFtp.FormatPf()", [&](std::string &o) { appendNumber(o, pf, kPf); });
}

std::string FormatFreq(float hz)
{
    return formatted("MLogFtp.FormatFreq()", [&](std::string &o) { appendNumber(o, hz, kFreq); });
}

std::string FormatLogDataCsv(const LogRecord &record, bool isShort, bool keepBad)
{
    std::string out;
    appendLine(out, record, isShort, keepBad);
    return out;
}

namespace {

void reserveLines(std::string &out, std::size_t records, bool isShort)
{
    // Typical lines run to about 56 and 220 characters; one reservation keeps the text from
    // being copied as it grows.
    out.reserve(out.size() + logCsvHeader(isShort).size() + 2 + records * (isShort ? 64 : 240));
}

void appendHeader(std::string &out, bool isShort)
{
    out.append(logCsvHeader(isShort));
    out.append("\r\n");
}

void appendRecordLine(std::string &out, const LogRecord &r, bool isShort, bool keepBad, LastLogRecord &last)
{
    appendLine(out, r, isShort, keepBad);
    out.append("\r\n");
    if (r.recordType == kLogRecordType && r.crcGood)
        last = {r.recordNumber, r.dateTime};
}

}  // namespace

LastLogRecord appendLogDataCsv(std::string &out, bool writeHeader, std::span<const LogRecord> records, bool isShort,
                               bool reverse, bool keepBad)
{
    DebugLog("MLogFtp.LogDataCsv()");
    reserveLines(out, records.size(), isShort);
    if (writeHeader)
        appendHeader(out, isShort);
    LastLogRecord last;
    const std::size_t n = records.size();
    for (std::size_t k = 0; k < n; ++k)
        appendRecordLine(out, records[reverse ? n - 1 - k : k], isShort, keepBad, last);
    return last;
}

LastLogRecord appendReceivedLogCsv(std::string &out, bool writeHeader, std::span<const std::uint8_t> bytes,
                                   std::size_t recordCount, bool isShort, bool keepBad, ReceivedLogTally *tally)
{
    DebugLog("MLogFtp.LogDataCsv()");
    reserveLines(out, recordCount, isShort);
    if (writeHeader)
        appendHeader(out, isShort);
    LastLogRecord last;
    for (std::size_t k = recordCount; k-- > 0;) {
        const LogRecord r = LoadLogData(bytes, k * recordSize(isShort), isShort);
        appendRecordLine(out, r, isShort, keepBad, last);
        if (!tally)
            continue;
        if (tally->first.recordNumber == 0)
            tally->first = last;
        if (r.recordType != kLogRecordType)
            ++tally->lost.unrecognized;
        else if (!r.crcGood)
            ++tally->lost.failedCheck;
    }
    return last;
}

namespace {

void appendToLog(LogCsvFile &file, bool writeHeader, bool isShort, std::string_view lines)
{
    if (writeHeader)
        file.append({logCsvHeader(isShort), "\r\n", lines});
    else
        file.append({lines});
    file.sync();
}

// The log's name leads elsewhere now: the records go to that name again, so that they are
// where the user looks for them, and the user is told why.
void writeAfresh(const LogCsvFile &written, bool isShort, std::string_view lines, LogWindow &window)
{
    const auto fresh = written.openAgain();
    appendToLog(*fresh, fresh->sizeAtOpen() == 0, isShort, lines);
    fresh->close();
    const std::string name = written.path().filename().string();
    DebugLog("WARN: MLogFtp.LogDataCsv(): " + name + " was deleted or replaced during the download");
    window.echLog().addInfo("Log file " + name + " was deleted or replaced during the download: the records were written to " +
                            name + " afresh");
}

}  // namespace

bool writeLogCsvText(LogCsvFile &file, bool writeHeader, bool isShort, std::string_view lines,
                     const LastLogRecord &last, LogWindow &window)
{
    try {
        appendToLog(file, writeHeader, isShort, lines);
        if (!file.pathNamesThisFile())
            writeAfresh(file, isShort, lines, window);
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MLogFtp.LogDataCsv()," + errorText(e));
        MsgBox("LogDataCsv() Error: " + errorText(e), MsgStyle::kOkOnly, "Tellumic Logging Error");
        return false;
    }
    if (last.recordNumber != 0) {
        window.setFileRecNum(std::to_string(last.recordNumber));
        window.setFileDateTime(FormatDateTime(last.dateTime));
    }
    return true;
}

bool LogDataCsv(LogCsvFile &file, bool writeHeader, std::span<const LogRecord> records, bool isShort, bool reverse,
                bool keepBad, LogWindow &window)
{
    std::string lines;
    const LastLogRecord last = appendLogDataCsv(lines, false, records, isShort, reverse, keepBad);
    return writeLogCsvText(file, writeHeader, isShort, lines, last, window);
}

}  // namespace tellumic
