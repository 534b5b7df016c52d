#pragma once

// Interval records in COPY's binary form, for bulk loads into PostgreSQL: the server reads
// the values as they are instead of parsing a text per field.

#include <cstdint>
#include <string>

#include "log/log_csv.h"

namespace tellumic::store {

// The signature, flags and header extension that open the data.
void beginBinaryCopy(std::string &out);

// One row of interval_records: meter_id bigint, record_number integer, record_time timestamp,
// then the value columns (integer, real or smallint; NULL for a float that is not finite and
// for the long-only columns of a short record).
void appendBinaryCopyRow(std::string &out, std::int64_t meterId, const LogCsvValues &r, bool isShort);

// The trailer that ends the data.
void endBinaryCopy(std::string &out);

}  // namespace tellumic::store
