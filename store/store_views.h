#pragma once

// The views both back-ends offer, written once: each back-end's SQL differs only in how it
// takes a timestamp's date and how it reaches a meter's newest record fast.

#include <string>

namespace tellumic::store {

enum class SqlDialect { Sqlite, Postgresql };

// daily_energy: per meter and day, the rise of energy_sum over the intervals of that day and
// their number. A record closes its interval (the 00:00 record holds the energy of 23:45 to
// 00:00), so an interval belongs to the day it began, as the log viewer counts it; an
// interval across midnight (records not aligned to it), one whose energy falls (a reset), one
// ended by a record that set the clock, and the first record of a meter (no interval) count
// for no day. PostgreSQL applies a filter on meter columns before the window, so it reads
// only that meter's records; SQLite (3.40) pushes no filter into a window and works the view
// out for every meter.
std::string dailyEnergyViewSql(SqlDialect dialect);

// last_records: each meter's newest record, found through the index per meter.
std::string lastRecordsViewSql(SqlDialect dialect);

// Statements that bring a schema of version 1 to 2: the digest of each file's stored part,
// and the views above in place of the first ones.
std::string migrateToVersion2Sql(SqlDialect dialect);

}  // namespace tellumic::store
