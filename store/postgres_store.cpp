#include "store/postgres_store.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <libpq-fe.h>
#include <optional>

#include "model/date_time.h"
#include "store/meter_identity.h"
#include "store/postgres_copy.h"
#include "store/record_columns.h"
#include "store/store_views.h"

namespace tellumic::store {

namespace {

// Serialises the creation of the schema between processes opening a new store at once.
constexpr const char *kSchemaLockKey = "7413250";

std::string valueColumnsSql()
{
    std::string sql;
    LogCsvValues v;
    forEachValueColumn(v, [&](std::string_view name, auto &field, bool longOnly) {
        using T = std::remove_reference_t<decltype(field)>;
        sql += ",\n  ";
        sql += name;
        sql += std::is_same_v<T, float> ? " real" : std::is_same_v<T, std::uint8_t> ? " smallint" : " integer";
        if (!longOnly && !std::is_same_v<T, float>)
            sql += " NOT NULL";
    });
    return sql;
}

// interval_records.meter_id names a row of meters but is not declared a foreign key: the
// server would check every record against meters in a trigger of its own, which costs about
// as much as storing the record. Records come in only after their meter's row in the same
// transaction, and a site's role may delete nothing.
std::string schemaSql()
{
    return "CREATE TABLE schema_version (version integer NOT NULL);\n"
           "CREATE TABLE meters (\n"
           "  meter_id bigserial PRIMARY KEY,\n"
           "  network text NOT NULL,\n"
           "  device_name text NOT NULL,\n"
           "  record_format text NOT NULL CHECK (record_format IN ('short', 'long')),\n"
           "  neuron_id text, program_id text, model text,\n"
           "  UNIQUE (network, device_name, record_format));\n"
           "CREATE TABLE meter_files (\n"
           "  meter_id bigint NOT NULL REFERENCES meters,\n"
           "  file_name text NOT NULL,\n"
           "  stored_bytes bigint NOT NULL,\n"
           "  failed_records bigint NOT NULL,\n"
           "  unrecognised_records bigint NOT NULL,\n"
           "  unreadable_lines bigint NOT NULL,\n"
           "  stored_digest text,\n"
           "  PRIMARY KEY (meter_id, file_name));\n"
           "CREATE TABLE interval_records (\n"
           "  meter_id bigint NOT NULL,\n"
           "  record_number integer NOT NULL,\n"
           "  record_time timestamp NOT NULL" +
           valueColumnsSql() +
           ",\n"
           "  PRIMARY KEY (meter_id, record_number, record_time));\n"
           "CREATE INDEX interval_records_by_time ON interval_records (meter_id, record_time);\n"
           "CREATE VIEW meter_faults AS\n"
           "  SELECT meter_id, SUM(failed_records) AS failed_records,\n"
           "         SUM(unrecognised_records) AS unrecognised_records, SUM(unreadable_lines) AS unreadable_lines\n"
           "  FROM meter_files GROUP BY meter_id;\n" +
           dailyEnergyViewSql(SqlDialect::Postgresql) + lastRecordsViewSql(SqlDialect::Postgresql);
}

// Whether two of the batch's records have the same record number and time (a file that holds
// a record twice), which a straight copy into the table would refuse.
bool hasRepeatedKeys(const RecordBatch &batch)
{
    std::vector<std::pair<std::int32_t, std::int64_t>> keys;
    keys.reserve(batch.records.size());
    for (const LogCsvValues &r : batch.records) {
        const LogDateTime &t = r.dateTime;
        keys.emplace_back(r.recordNumber,
                          daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second);
    }
    std::sort(keys.begin(), keys.end());
    return std::adjacent_find(keys.begin(), keys.end()) != keys.end();
}

struct ResultDeleter
{
    void operator()(PGresult *r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// A connection is finished also when it failed or when the store's set-up throws.
struct ConnectionDeleter
{
    void operator()(PGconn *c) const { PQfinish(c); }
};

class PostgresStore final : public RecordStore
{
public:
    explicit PostgresStore(const std::string &conninfo)
        : m_connection(PQconnectdb(conninfo.c_str())), m_conn(m_connection.get())
    {
        if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
            throw StoreError("cannot connect to the record store: " + lastError());
        exec("SET datestyle = ISO; SET client_min_messages = warning");
        exec("BEGIN");
        try {
            exec(std::string("SELECT pg_advisory_xact_lock(") + kSchemaLockKey + ")");
            if (value(exec("SELECT to_regclass('schema_version') IS NULL"), 0, 0) == "t") {
                exec(schemaSql());
                exec("INSERT INTO schema_version VALUES (" + std::to_string(kSchemaVersion) + ")");
            }
            const int version = std::stoi(value(exec("SELECT MAX(version) FROM schema_version"), 0, 0));
            if (version > kSchemaVersion)
                throw StoreError("the record store is of a later version (schema " + std::to_string(version) +
                                 "); this program knows schema " + std::to_string(kSchemaVersion));
            if (version < 2)
                migrate(version);
            exec("COMMIT");
        } catch (const StoreError &) {
            PQclear(PQexec(m_conn, "ROLLBACK"));
            throw;
        } catch (const std::exception &e) {  // a version that is no number
            PQclear(PQexec(m_conn, "ROLLBACK"));
            throw StoreError(std::string("cannot read the record store's schema version: ") + e.what());
        }
    }
    FileState fileState(const MeterKey &meter, std::string_view file) override
    {
        const Result r = execParams(
            "SELECT f.stored_bytes, f.failed_records, f.unrecognised_records, f.unreadable_lines,"
            " coalesce(f.stored_digest, '') FROM meter_files f JOIN meters m USING (meter_id)"
            " WHERE m.network = $1 AND m.device_name = $2 AND m.record_format = $3 AND f.file_name = $4",
            {meter.network, meter.name, formatName(meter.isShort), std::string(file)});
        FileState s;
        if (PQntuples(r.get()) == 1) {
            s.storedBytes = std::stoll(value(r, 0, 0));
            s.failed = std::stoll(value(r, 0, 1));
            s.unrecognised = std::stoll(value(r, 0, 2));
            s.unreadable = std::stoll(value(r, 0, 3));
            s.storedDigest = value(r, 0, 4);
        }
        return s;
    }

    std::int64_t store(const MeterInfo &meter, std::string_view file, const RecordBatch &batch, bool fromStart,
                       std::int64_t endBytes, std::string_view digest) override
    {
        exec("BEGIN");
        try {
            followMeter(meter);
            const Result id = execParams(
                "INSERT INTO meters (network, device_name, record_format, neuron_id, program_id, model)"
                " VALUES ($1, $2, $3, NULLIF($4, ''), NULLIF($5, ''), NULLIF($6, ''))"
                " ON CONFLICT (network, device_name, record_format) DO UPDATE SET"
                " neuron_id = COALESCE(NULLIF($4, ''), meters.neuron_id),"
                " program_id = COALESCE(NULLIF($5, ''), meters.program_id),"
                " model = COALESCE(NULLIF($6, ''), meters.model) RETURNING meter_id",
                {meter.key.network, meter.key.name, formatName(meter.key.isShort), meter.neuronId, meter.programId,
                 meter.model});
            const std::string meterId = value(id, 0, 0);
            const std::int64_t added = addRecords(std::stoll(meterId), batch, meter.key.isShort);
            execParams(std::string("INSERT INTO meter_files (meter_id, file_name, stored_bytes, failed_records,"
                                   " unrecognised_records, unreadable_lines, stored_digest)"
                                   " VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (meter_id, file_name)"
                                   " DO UPDATE SET stored_bytes = $3, stored_digest = $7, ") +
                           (fromStart ? "failed_records = $4, unrecognised_records = $5, unreadable_lines = $6"
                                      : "failed_records = meter_files.failed_records + $4,"
                                        " unrecognised_records = meter_files.unrecognised_records + $5,"
                                        " unreadable_lines = meter_files.unreadable_lines + $6"),
                       {meterId, std::string(file), std::to_string(endBytes), std::to_string(batch.failed),
                        std::to_string(batch.unrecognised), std::to_string(batch.unreadable), std::string(digest)});
            exec("COMMIT");
            return added;
        } catch (const StoreError &) {
            PQclear(PQexec(m_conn, "ROLLBACK"));
            throw;
        }
    }

    std::vector<MeterInfo> meters(std::string_view name) override
    {
        const Result r = execParams("SELECT network, record_format, coalesce(neuron_id, ''),"
                                    " coalesce(program_id, ''), coalesce(model, '') FROM meters"
                                    " WHERE device_name = $1 ORDER BY network, record_format",
                                    {std::string(name)});
        std::vector<MeterInfo> out;
        for (int i = 0; i < PQntuples(r.get()); ++i) {
            MeterInfo m;
            m.key = {value(r, i, 0), std::string(name), value(r, i, 1) == "short"};
            m.neuronId = value(r, i, 2);
            m.programId = value(r, i, 3);
            m.model = value(r, i, 4);
            out.push_back(std::move(m));
        }
        return out;
    }

    std::vector<LogCsvValues> records(const RecordQuery &query) override
    {
        std::string sql = "SELECT r.record_number, r.record_time";
        LogCsvValues dummy;
        forEachValueColumn(dummy, [&](std::string_view name, auto &, bool) {
            sql += ", r.";
            sql += name;
        });
        sql += " FROM interval_records r JOIN meters m USING (meter_id)"
               " WHERE m.network = $1 AND m.device_name = $2 AND m.record_format = $3"
               " AND ($4 = '' OR r.record_time >= $4::timestamp) AND ($5 = '' OR r.record_time < $5::timestamp)"
               " ORDER BY r.record_time, r.record_number";
        const Result r = execParams(sql, {query.meter.network, query.meter.name, formatName(query.meter.isShort),
                                          query.from, query.to});
        std::vector<LogCsvValues> out;
        for (int row = 0; row < PQntuples(r.get()); ++row) {
            LogCsvValues v;
            v.recordNumber = std::stoi(value(r, row, 0));
            readRecordTime(value(r, row, 1), v.dateTime);
            int col = 2;
            forEachValueColumn(v, [&](std::string_view, auto &field, bool) {
                using T = std::remove_reference_t<decltype(field)>;
                const bool null = PQgetisnull(r.get(), row, col);
                const char *text = PQgetvalue(r.get(), row, col);
                const char *end = text + PQgetlength(r.get(), row, col);
                ++col;
                if constexpr (std::is_same_v<T, float>) {
                    field = std::nanf("");
                    if (!null)
                        std::from_chars(text, end, field);
                } else {
                    std::int64_t n = 0;
                    if (!null)
                        std::from_chars(text, end, n);
                    field = static_cast<T>(n);
                }
            });
            out.push_back(v);
        }
        return out;
    }

    std::vector<std::vector<std::string>> queryText(std::string_view sql) override
    {
        const Result r = exec(std::string(sql));
        std::vector<std::vector<std::string>> rows;
        for (int i = 0; i < PQntuples(r.get()); ++i) {
            auto &row = rows.emplace_back();
            for (int c = 0; c < PQnfields(r.get()); ++c)
                row.push_back(value(r, i, c));
        }
        return rows;
    }

    std::int64_t recordCount(const MeterKey &meter) override
    {
        const Result r = execParams("SELECT COUNT(*) FROM interval_records r JOIN meters m USING (meter_id)"
                                    " WHERE m.network = $1 AND m.device_name = $2 AND m.record_format = $3",
                                    {meter.network, meter.name, formatName(meter.isShort)});
        return std::stoll(value(r, 0, 0));
    }

private:
    // Renames the meter stored under meter's Neuron ID when it comes under another key. The
    // rows read are locked, so that two loads at once cannot both take one for theirs.
    void followMeter(const MeterInfo &meter)
    {
        const std::string format = formatName(meter.key.isShort);
        std::optional<MeterKey> byNeuronId;
        if (!meter.neuronId.empty()) {
            const Result r = execParams("SELECT network, device_name FROM meters WHERE neuron_id = $1"
                                        " AND record_format = $2 FOR UPDATE",
                                        {meter.neuronId, format});
            if (PQntuples(r.get()) > 0)
                byNeuronId = MeterKey{value(r, 0, 0), value(r, 0, 1), meter.key.isShort};
        }
        std::optional<std::string> neuronIdOfKey;
        const Result k = execParams("SELECT coalesce(neuron_id, '') FROM meters WHERE network = $1 AND device_name = $2"
                                    " AND record_format = $3 FOR UPDATE",
                                    {meter.key.network, meter.key.name, format});
        if (PQntuples(k.get()) > 0)
            neuronIdOfKey = value(k, 0, 0);
        if (followsNeuronId(meter, byNeuronId, neuronIdOfKey))
            execParams("UPDATE meters SET network = $1, device_name = $2 WHERE neuron_id = $3 AND record_format = $4",
                       {meter.key.network, meter.key.name, meter.neuronId, format});
    }

    // Brings a store of an earlier schema to this one, in the transaction that opens it. Only
    // the store's owner may alter its tables; anyone else is told so.
    void migrate(int version)
    {
        try {
            exec(migrateToVersion2Sql(SqlDialect::Postgresql));
        } catch (const StoreError &e) {
            throw StoreError("the record store is of schema " + std::to_string(version) +
                             "; its owner must open it once to bring it to schema " + std::to_string(kSchemaVersion) +
                             " (" + e.what() + ")");
        }
    }

    // The batch's records whose key is new. The meter's row, locked by the upsert until the
    // end of the transaction, keeps every other writer off this meter's records meanwhile:
    // a meter with no records yet takes the batch straight into the table, which saves
    // copying it twice; otherwise the batch goes through a staging table, and only the rows
    // not there already are added.
    std::int64_t addRecords(std::int64_t meterId, const RecordBatch &batch, bool isShort)
    {
        if (batch.records.empty())
            return 0;
        const std::string id = std::to_string(meterId);
        if (!hasRepeatedKeys(batch) &&
            PQntuples(exec("SELECT 1 FROM interval_records WHERE meter_id = " + id + " LIMIT 1").get()) == 0) {
            copyRecords("interval_records", meterId, batch, isShort);
            return static_cast<std::int64_t>(batch.records.size());
        }
        exec("CREATE TEMP TABLE IF NOT EXISTS incoming_records (LIKE interval_records) ON COMMIT DELETE ROWS");
        copyRecords("incoming_records", meterId, batch, isShort);
        const Result added = exec("INSERT INTO interval_records SELECT * FROM incoming_records ON CONFLICT DO NOTHING");
        return std::stoll(PQcmdTuples(added.get()));
    }

    std::string lastError() const
    {
        std::string e = m_conn ? PQerrorMessage(m_conn) : "out of memory";
        while (!e.empty() && (e.back() == '\n' || e.back() == ' '))
            e.pop_back();
        for (char &c : e)
            if (c == '\n')
                c = ' ';
        return e;
    }

    static std::string value(const Result &r, int row, int col) { return PQgetvalue(r.get(), row, col); }

    Result check(PGresult *r)
    {
        const auto status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_COPY_IN) {
            PQclear(r);
            throw StoreError("record store: " + lastError());
        }
        return Result(r);
    }

    Result exec(const std::string &sql) { return check(PQexec(m_conn, sql.c_str())); }

    Result execParams(const std::string &sql, const std::vector<std::string> &params)
    {
        std::vector<const char *> values;
        for (const auto &p : params)
            values.push_back(p.c_str());
        return check(PQexecParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                  nullptr, nullptr, 0));
    }

    // The batch into table in COPY's binary form, sent in pieces of about a megabyte.
    void copyRecords(const char *table, std::int64_t meterId, const RecordBatch &batch, bool isShort)
    {
        exec(std::string("COPY ") + table + " FROM STDIN (FORMAT binary)");
        std::string buf;
        buf.reserve((1u << 20) + 512);
        beginBinaryCopy(buf);
        for (const LogCsvValues &r : batch.records) {
            appendBinaryCopyRow(buf, meterId, r, isShort);
            if (buf.size() > (1u << 20))
                putCopyData(buf);
        }
        endBinaryCopy(buf);
        putCopyData(buf);
        if (PQputCopyEnd(m_conn, nullptr) != 1)
            throw StoreError("record store: " + lastError());
        check(PQgetResult(m_conn));
        while (PGresult *rest = PQgetResult(m_conn))
            PQclear(rest);
    }

    void putCopyData(std::string &buf)
    {
        if (!buf.empty() && PQputCopyData(m_conn, buf.data(), static_cast<int>(buf.size())) != 1)
            throw StoreError("record store: " + lastError());
        buf.clear();
    }

    std::unique_ptr<PGconn, ConnectionDeleter> m_connection;
    PGconn *m_conn;
};

}  // namespace

std::unique_ptr<RecordStore> openPostgresStore(const std::string &conninfo)
{
    return std::make_unique<PostgresStore>(conninfo);
}

}  // namespace tellumic::store
