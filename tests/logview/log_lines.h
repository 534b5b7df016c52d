#pragma once

// Log files for tests and benchmarks, written by the product's own CSV code: records of a
// load that follows the day, as the downloads write them; and such a file read as the
// viewer reads it.

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "log/log_csv.h"
#include "log/log_records.h"
#include "logview/civil_time.h"
#include "logview/log_csv_reader.h"
#include "logview/log_data.h"

namespace tellumic::test {

inline LogDateTime logDateTime(logview::CivilSeconds t)
{
    const logview::CivilFields f = logview::civilFields(t);
    return {f.year, static_cast<std::uint8_t>(f.month), static_cast<std::uint8_t>(f.day),
            static_cast<std::uint8_t>(f.hour), static_cast<std::uint8_t>(f.minute), static_cast<std::uint8_t>(f.second)};
}

constexpr logview::CivilSeconds civil(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return daysFromCivil(y, mo, d) * logview::kSecondsPerDay + h * 3600 + mi * 60 + s;
}

// count records every intervalSeconds from start, numbered from first: a three-phase load
// with a daily shape, energy that rises with it, and good checks.
inline std::vector<LogRecord> loadRecords(std::size_t count, std::int32_t first, logview::CivilSeconds start,
                                          int intervalSeconds = 900)
{
    std::vector<LogRecord> out(count);
    double kwhTenths = 123456;
    for (std::size_t i = 0; i < count; ++i) {
        const logview::CivilSeconds t = start + static_cast<logview::CivilSeconds>(i) * intervalSeconds;
        const double hour = static_cast<double>(t % 86400) / 3600.0;
        const double shape = 0.6 + 0.4 * std::sin((hour - 8.0) / 24.0 * 2 * 3.14159265);
        LogRecord &r = out[i];
        r.recordType = kLogRecordType;
        r.recordNumber = first + static_cast<std::int32_t>(i);
        r.dateTime = logDateTime(t);
        r.logSeconds = static_cast<std::int32_t>(t % 65536);
        r.crcGood = true;
        float sum = 0;
        for (std::size_t p = 0; p < 3; ++p) {
            r.volts[p] = static_cast<float>(230.0 + 2.0 * std::sin(static_cast<double>(i) * 0.1 + p));
            r.power[p] = static_cast<float>(shape * (1800.0 + 300.0 * p) + 50.0 * std::sin(static_cast<double>(i) * 1.7 + p));
            r.reacPower[p] = r.power[p] * 0.3f;
            sum += r.power[p];
        }
        r.demand = sum;
        r.frequency = 50.0f + 0.02f * static_cast<float>(std::sin(static_cast<double>(i)));
        kwhTenths += sum * intervalSeconds / 3600.0 / 100.0;
        r.energySum = static_cast<std::int32_t>(kwhTenths);
        r.energyPosSum = r.energySum;
        for (std::size_t p = 0; p < 3; ++p)
            r.energy[p] = r.energySum / 3;
        r.reacEnergySum = r.energySum / 4;
    }
    return out;
}

// The file text: header (when asked) and one line per record in the order given.
inline std::string logText(std::span<const LogRecord> records, bool isShort, bool header = true, bool keepBad = false)
{
    std::string out;
    appendLogDataCsv(out, header, records, isShort, false, keepBad);
    return out;
}

// The plotted log of a file's text. error, when given, gets why the text is not a log ("" when
// it is one).
inline logview::LogData readLogData(std::string_view text, std::string *error = nullptr)
{
    logview::LogCsvReader reader;
    reader.feed(text);
    if (error)
        *error = reader.error();
    return logview::buildLogData(reader.raw(), reader.report());
}

}  // namespace tellumic::test
