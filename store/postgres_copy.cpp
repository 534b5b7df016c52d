#include "store/postgres_copy.h"

#include <bit>
#include <cmath>
#include <type_traits>

#include "model/date_time.h"
#include "store/record_columns.h"

namespace tellumic::store {

namespace {

constexpr int kColumns = 3 + kValueColumnCount;

// PostgreSQL's timestamps count microseconds from 2000-01-01 00:00:00.
constexpr std::int64_t kPostgresEpochDays = daysFromCivil(2000, 1, 1);

template <typename T>
void appendBigEndian(std::string &out, T value)
{
    using U = std::make_unsigned_t<T>;
    auto u = static_cast<U>(value);
    char bytes[sizeof(U)];
    for (std::size_t i = sizeof(U); i-- > 0;) {
        bytes[i] = static_cast<char>(u & 0xFFu);
        u = static_cast<U>(u >> 8);
    }
    out.append(bytes, sizeof bytes);
}

// A field: its length, then its bytes.
template <typename T>
void appendField(std::string &out, T value)
{
    appendBigEndian<std::int32_t>(out, static_cast<std::int32_t>(sizeof(T)));
    appendBigEndian(out, value);
}

void appendNull(std::string &out)
{
    appendBigEndian<std::int32_t>(out, -1);
}

std::int64_t postgresMicroseconds(const LogDateTime &dt)
{
    const std::int64_t days = daysFromCivil(dt.year, dt.month, dt.day) - kPostgresEpochDays;
    const std::int64_t seconds = days * 86400 + dt.hour * 3600 + dt.minute * 60 + dt.second;
    return seconds * 1000000;
}

}  // namespace

void beginBinaryCopy(std::string &out)
{
    static constexpr char kSignature[] = "PGCOPY\n\377\r\n";
    out.append(kSignature, sizeof kSignature);  // with its closing zero byte
    appendBigEndian<std::int32_t>(out, 0);      // flags: no OIDs
    appendBigEndian<std::int32_t>(out, 0);      // no header extension
}

void appendBinaryCopyRow(std::string &out, std::int64_t meterId, const LogCsvValues &r, bool isShort)
{
    appendBigEndian<std::int16_t>(out, kColumns);
    appendField<std::int64_t>(out, meterId);
    appendField<std::int32_t>(out, r.recordNumber);
    appendField<std::int64_t>(out, postgresMicroseconds(r.dateTime));
    forEachValueColumn(r, [&](std::string_view, const auto &field, bool longOnly) {
        using T = std::remove_cvref_t<decltype(field)>;
        if (longOnly && isShort) {
            appendNull(out);
        } else if constexpr (std::is_same_v<T, float>) {
            if (std::isfinite(field))
                appendField<std::uint32_t>(out, std::bit_cast<std::uint32_t>(field));
            else
                appendNull(out);
        } else if constexpr (std::is_same_v<T, std::uint8_t>) {
            appendField<std::int16_t>(out, field);
        } else {
            appendField<std::int32_t>(out, field);
        }
    });
}

void endBinaryCopy(std::string &out)
{
    appendBigEndian<std::int16_t>(out, -1);
}

}  // namespace tellumic::store
