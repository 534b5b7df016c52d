#include "store/store_views.h"

#include "log/log_records.h"

namespace tellumic::store {

namespace {

// A timestamp expression's calendar day (a date in PostgreSQL, "YYYY-MM-DD" in SQLite).
std::string dayOf(SqlDialect d, const std::string &time)
{
    return d == SqlDialect::Postgresql ? "CAST(" + time + " AS date)" : "date(" + time + ")";
}

std::string secondBefore(SqlDialect d, const std::string &time)
{
    return d == SqlDialect::Postgresql ? time + " - interval '1 second'" : "datetime(" + time + ", '-1 second')";
}

// Each record with the time and energy of the meter's record before it.
std::string intervalsSql(SqlDialect d)
{
    // PostgreSQL: the window is partitioned by every meter column, so that a filter on any of
    // them is applied before it, to that meter's rows only. SQLite pushes no filter into a
    // window: its window runs over the records alone, in the order of their index, which
    // costs least, and the meters are joined after.
    if (d == SqlDialect::Postgresql)
        return "  FROM (SELECT m.network, m.device_name, m.record_format, m.meter_id, r.record_time, r.energy_sum,\n"
               "               r.flags, LAG(r.record_time) OVER w AS prev_time, LAG(r.energy_sum) OVER w AS prev_energy\n"
               "        FROM meters m JOIN interval_records r ON r.meter_id = m.meter_id\n"
               "        WINDOW w AS (PARTITION BY m.network, m.device_name, m.record_format, m.meter_id\n"
               "                     ORDER BY r.record_time, r.record_number)) i\n";
    return "  FROM (SELECT meter_id, record_time, energy_sum, flags,\n"
           "               LAG(record_time) OVER w AS prev_time, LAG(energy_sum) OVER w AS prev_energy\n"
           "        FROM interval_records WINDOW w AS (PARTITION BY meter_id ORDER BY record_time, record_number)) i\n"
           "       JOIN meters m USING (meter_id)\n";
}

}  // namespace

std::string dailyEnergyViewSql(SqlDialect d)
{
    const bool pg = d == SqlDialect::Postgresql;
    // Energies are integers in tenths: their sum is exact (numeric in PostgreSQL), and the
    // difference of two is taken as a bigint so that no range of the register overflows it.
    const std::string rise = pg ? "CAST(energy_sum AS bigint) - prev_energy" : "energy_sum - prev_energy";
    const std::string kwh = pg ? "CAST(SUM(" + rise + ") / 10.0 AS numeric(20, 1))" : "SUM(" + rise + ") / 10.0";
    const std::string day = dayOf(d, "prev_time");
    return "CREATE VIEW daily_energy AS\n"
           "  SELECT network, device_name, record_format, meter_id, " + day + " AS day,\n"
           "         " + kwh + " AS energy_kwh, COUNT(*) AS intervals\n"
           + intervalsSql(d) +
           "  WHERE prev_time IS NOT NULL AND record_time > prev_time AND energy_sum >= prev_energy\n"
           "    AND (flags & " + std::to_string(LogFlag::kClockChange) + ") = 0\n"
           "    AND " + day + " = " + dayOf(d, secondBefore(d, "record_time")) + "\n"
           "  GROUP BY network, device_name, record_format, meter_id, " + day + ";\n";
}

std::string lastRecordsViewSql(SqlDialect d)
{
    if (d == SqlDialect::Postgresql)
        return "CREATE VIEW last_records AS\n"
               "  SELECT m.network, m.device_name, m.record_format, r.*\n"
               "  FROM meters m CROSS JOIN LATERAL\n"
               "       (SELECT * FROM interval_records n WHERE n.meter_id = m.meter_id\n"
               "        ORDER BY n.record_time DESC, n.record_number DESC LIMIT 1) r;\n";
    // SQLite: the newest time per meter through the index, then the record by its key; the
    // meters come first (CROSS JOIN keeps that order), so no other record is read.
    return "CREATE VIEW last_records AS\n"
           "  SELECT l.network, l.device_name, l.record_format, r.*\n"
           "  FROM (SELECT m.meter_id, m.network, m.device_name, m.record_format,\n"
           "               (SELECT MAX(n.record_time) FROM interval_records n WHERE n.meter_id = m.meter_id) AS last_time\n"
           "        FROM meters m) l\n"
           "  CROSS JOIN interval_records r\n"
           "  WHERE r.meter_id = l.meter_id AND r.record_time = l.last_time\n"
           "    AND r.record_number = (SELECT MAX(k.record_number) FROM interval_records k\n"
           "                           WHERE k.meter_id = l.meter_id AND k.record_time = l.last_time);\n";
}

std::string migrateToVersion2Sql(SqlDialect d)
{
    return std::string("ALTER TABLE meter_files ADD COLUMN stored_digest ") +
           (d == SqlDialect::Postgresql ? "text" : "TEXT") +
           ";\n"
           "DROP VIEW daily_energy;\n"
           "DROP VIEW last_records;\n" +
           dailyEnergyViewSql(d) + lastRecordsViewSql(d) + "INSERT INTO schema_version VALUES (2);\n";
}

}  // namespace tellumic::store
