#include "store/sqlite_store.h"

#include <cmath>
#include <filesystem>
#include <optional>
#include <SQLiteCpp/SQLiteCpp.h>

#include "foundation/sqlite_write_transaction.h"
#include "store/meter_identity.h"
#include "store/record_columns.h"
#include "store/store_views.h"

namespace tellumic::store {

namespace {

// A writer waits this long for another process's transaction before it gives up.
constexpr int kBusyTimeoutMs = 60000;

std::string valueColumnsSql()
{
    std::string sql;
    LogCsvValues v;
    forEachValueColumn(v, [&](std::string_view name, auto &field, bool longOnly) {
        using T = std::remove_reference_t<decltype(field)>;
        sql += ",\n  ";
        sql += name;
        sql += std::is_same_v<T, float> ? " REAL" : " INTEGER";
        if (!longOnly && !std::is_same_v<T, float>)
            sql += " NOT NULL";
    });
    return sql;
}

std::string schemaSql()
{
    return "CREATE TABLE schema_version (version INTEGER NOT NULL);\n"
           "CREATE TABLE meters (\n"
           "  meter_id INTEGER PRIMARY KEY,\n"
           "  network TEXT NOT NULL,\n"
           "  device_name TEXT NOT NULL,\n"
           "  record_format TEXT NOT NULL CHECK (record_format IN ('short', 'long')),\n"
           "  neuron_id TEXT, program_id TEXT, model TEXT,\n"
           "  UNIQUE (network, device_name, record_format));\n"
           "CREATE TABLE meter_files (\n"
           "  meter_id INTEGER NOT NULL REFERENCES meters,\n"
           "  file_name TEXT NOT NULL,\n"
           "  stored_bytes INTEGER NOT NULL,\n"
           "  failed_records INTEGER NOT NULL,\n"
           "  unrecognised_records INTEGER NOT NULL,\n"
           "  unreadable_lines INTEGER NOT NULL,\n"
           "  stored_digest TEXT,\n"
           "  PRIMARY KEY (meter_id, file_name));\n"
           "CREATE TABLE interval_records (\n"
           "  meter_id INTEGER NOT NULL REFERENCES meters,\n"
           "  record_number INTEGER NOT NULL,\n"
           "  record_time TEXT NOT NULL" +
           valueColumnsSql() +
           ",\n"
           "  PRIMARY KEY (meter_id, record_number, record_time)) WITHOUT ROWID;\n"
           "CREATE INDEX interval_records_by_time ON interval_records (meter_id, record_time);\n"
           "CREATE VIEW meter_faults AS\n"
           "  SELECT meter_id, SUM(failed_records) AS failed_records,\n"
           "         SUM(unrecognised_records) AS unrecognised_records, SUM(unreadable_lines) AS unreadable_lines\n"
           "  FROM meter_files GROUP BY meter_id;\n" +
           dailyEnergyViewSql(SqlDialect::Sqlite) + lastRecordsViewSql(SqlDialect::Sqlite);
}

class SqliteStore final : public RecordStore
{
public:
    explicit SqliteStore(const std::string &path)
        // One thread uses a store: no lock around every call.
        : m_path(path), m_db(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLite::OPEN_NOMUTEX, kBusyTimeoutMs)
    {
        // WAL: readers (reports, export) go on while a harvest writes, and a transaction is
        // one append to the log. With synchronous = NORMAL a commit is not synced until the
        // next checkpoint: a power cut may lose the last transactions, never the file's
        // consistency. What is lost is only the store's copy: the CSV files keep the records,
        // and the store's byte count per file went with the same transaction, so the next
        // load takes the lost records up again.
        m_db.exec("PRAGMA journal_mode = WAL");
        m_db.exec("PRAGMA synchronous = NORMAL");
        m_db.exec("PRAGMA foreign_keys = ON");
        SqliteWriteTransaction t(m_db);
        if (!m_db.tableExists("schema_version")) {
            m_db.exec(schemaSql());
            SQLite::Statement v(m_db, "INSERT INTO schema_version (version) VALUES (?)");
            v.bind(1, kSchemaVersion);
            v.exec();
        }
        const int version = m_db.execAndGet("SELECT MAX(version) FROM schema_version").getInt();
        if (version > kSchemaVersion)
            throw StoreError(path + " is a record store of a later version (schema " + std::to_string(version) +
                             "); this program knows schema " + std::to_string(kSchemaVersion));
        if (version < 2)
            m_db.exec(migrateToVersion2Sql(SqlDialect::Sqlite));
        t.commit();
    }

    FileState fileState(const MeterKey &meter, std::string_view file) override
    {
        return guarded([&] {
            SQLite::Statement q(m_db,
                                "SELECT f.stored_bytes, f.failed_records, f.unrecognised_records, f.unreadable_lines,"
                                " f.stored_digest"
                                " FROM meter_files f JOIN meters m USING (meter_id)"
                                " WHERE m.network = ? AND m.device_name = ? AND m.record_format = ?"
                                " AND f.file_name = ?");
            bindKey(q, meter);
            q.bind(4, std::string(file));
            FileState s;
            if (q.executeStep()) {
                s.storedBytes = q.getColumn(0).getInt64();
                s.failed = q.getColumn(1).getInt64();
                s.unrecognised = q.getColumn(2).getInt64();
                s.unreadable = q.getColumn(3).getInt64();
                s.storedDigest = q.getColumn(4).getString();
            }
            return s;
        });
    }

    std::int64_t store(const MeterInfo &meter, std::string_view file, const RecordBatch &batch, bool fromStart,
                       std::int64_t endBytes, std::string_view digest) override
    {
        return guarded([&] {
            SqliteWriteTransaction t(m_db);
            const std::int64_t id = meterId(meter);
            std::int64_t added = 0;
            SQLite::Statement ins(m_db, insertSql());
            char time[kRecordTimeSize + 1] = {};  // a C string for the binding
            for (const LogCsvValues &r : batch.records) {
                writeRecordTime(r.dateTime, time);
                bindRecord(ins, id, r, time, meter.key.isShort);
                added += ins.exec();
                ins.reset();
            }
            SQLite::Statement f(m_db, std::string("INSERT INTO meter_files (meter_id, file_name, stored_bytes,"
                                                  " failed_records, unrecognised_records, unreadable_lines,"
                                                  " stored_digest) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"
                                                  " ON CONFLICT (meter_id, file_name) DO UPDATE SET"
                                                  " stored_bytes = ?3, stored_digest = ?7, ") +
                                          (fromStart ? "failed_records = ?4, unrecognised_records = ?5,"
                                                       " unreadable_lines = ?6"
                                                     : "failed_records = failed_records + ?4,"
                                                       " unrecognised_records = unrecognised_records + ?5,"
                                                       " unreadable_lines = unreadable_lines + ?6"));
            f.bind(1, id);
            f.bind(2, std::string(file));
            f.bind(3, endBytes);
            f.bind(4, batch.failed);
            f.bind(5, batch.unrecognised);
            f.bind(6, batch.unreadable);
            f.bind(7, std::string(digest));
            f.exec();
            t.commit();
            return added;
        });
    }

    std::vector<MeterInfo> meters(std::string_view name) override
    {
        return guarded([&] {
            SQLite::Statement q(m_db,
                                "SELECT network, record_format, neuron_id, program_id, model FROM meters"
                                " WHERE device_name = ? ORDER BY network, record_format");
            q.bind(1, std::string(name));
            std::vector<MeterInfo> out;
            while (q.executeStep()) {
                MeterInfo m;
                m.key.network = q.getColumn(0).getString();
                m.key.name = std::string(name);
                m.key.isShort = q.getColumn(1).getString() == "short";
                m.neuronId = q.getColumn(2).getString();
                m.programId = q.getColumn(3).getString();
                m.model = q.getColumn(4).getString();
                out.push_back(std::move(m));
            }
            return out;
        });
    }

    std::vector<LogCsvValues> records(const RecordQuery &query) override
    {
        return guarded([&] {
            std::string sql = "SELECT r.record_number, r.record_time";
            LogCsvValues dummy;
            forEachValueColumn(dummy, [&](std::string_view name, auto &, bool) {
                sql += ", r.";
                sql += name;
            });
            sql += " FROM interval_records r JOIN meters m USING (meter_id)"
                   " WHERE m.network = ?1 AND m.device_name = ?2 AND m.record_format = ?3"
                   " AND (?4 = '' OR r.record_time >= ?4) AND (?5 = '' OR r.record_time < ?5)"
                   " ORDER BY r.record_time, r.record_number";
            SQLite::Statement q(m_db, sql);
            bindKey(q, query.meter);
            q.bind(4, query.from);
            q.bind(5, query.to);
            std::vector<LogCsvValues> out;
            while (q.executeStep())
                out.push_back(readRecord(q));
            return out;
        });
    }

    std::vector<std::vector<std::string>> queryText(std::string_view sql) override
    {
        return guarded([&] {
            SQLite::Statement q(m_db, std::string(sql));
            std::vector<std::vector<std::string>> rows;
            while (q.executeStep()) {
                auto &row = rows.emplace_back();
                for (int i = 0; i < q.getColumnCount(); ++i)
                    row.push_back(q.getColumn(i).isNull() ? std::string() : q.getColumn(i).getString());
            }
            return rows;
        });
    }

    std::int64_t recordCount(const MeterKey &meter) override
    {
        return guarded([&] {
            SQLite::Statement q(m_db,
                                "SELECT COUNT(*) FROM interval_records r JOIN meters m USING (meter_id)"
                                " WHERE m.network = ? AND m.device_name = ? AND m.record_format = ?");
            bindKey(q, meter);
            q.executeStep();
            return q.getColumn(0).getInt64();
        });
    }

private:
    template <typename F>
    auto guarded(F &&f) -> decltype(f())
    {
        try {
            return f();
        } catch (const SQLite::Exception &e) {
            throw StoreError("record store " + m_path + ": " + e.what());
        }
    }

    static void bindKey(SQLite::Statement &q, const MeterKey &key)
    {
        q.bind(1, key.network);
        q.bind(2, key.name);
        q.bind(3, formatName(key.isShort));
    }

    // Renames the meter stored under meter's Neuron ID when it comes under another key.
    void followMeter(const MeterInfo &meter)
    {
        std::optional<MeterKey> byNeuronId;
        if (!meter.neuronId.empty()) {
            SQLite::Statement q(m_db, "SELECT network, device_name FROM meters WHERE neuron_id = ? AND record_format = ?");
            q.bind(1, meter.neuronId);
            q.bind(2, formatName(meter.key.isShort));
            if (q.executeStep())
                byNeuronId = MeterKey{q.getColumn(0).getString(), q.getColumn(1).getString(), meter.key.isShort};
        }
        std::optional<std::string> neuronIdOfKey;
        SQLite::Statement k(m_db, "SELECT neuron_id FROM meters WHERE network = ? AND device_name = ? AND record_format = ?");
        bindKey(k, meter.key);
        if (k.executeStep())
            neuronIdOfKey = k.getColumn(0).getString();
        if (!followsNeuronId(meter, byNeuronId, neuronIdOfKey))
            return;
        SQLite::Statement move(m_db, "UPDATE meters SET network = ?1, device_name = ?2 WHERE neuron_id = ?4 AND record_format = ?3");
        bindKey(move, meter.key);
        move.bind(4, meter.neuronId);
        move.exec();
    }

    std::int64_t meterId(const MeterInfo &meter)
    {
        followMeter(meter);
        SQLite::Statement up(m_db,
                             "INSERT INTO meters (network, device_name, record_format, neuron_id, program_id, model)"
                             " VALUES (?1, ?2, ?3, NULLIF(?4, ''), NULLIF(?5, ''), NULLIF(?6, ''))"
                             " ON CONFLICT (network, device_name, record_format) DO UPDATE SET"
                             " neuron_id = COALESCE(NULLIF(?4, ''), neuron_id),"
                             " program_id = COALESCE(NULLIF(?5, ''), program_id),"
                             " model = COALESCE(NULLIF(?6, ''), model)");
        bindKey(up, meter.key);
        up.bind(4, meter.neuronId);
        up.bind(5, meter.programId);
        up.bind(6, meter.model);
        up.exec();
        SQLite::Statement q(m_db,
                            "SELECT meter_id FROM meters WHERE network = ? AND device_name = ? AND record_format = ?");
        bindKey(q, meter.key);
        q.executeStep();
        return q.getColumn(0).getInt64();
    }

    static std::string insertSql()
    {
        std::string sql = "INSERT INTO interval_records VALUES (?, ?, ?";
        for (int i = 0; i < kValueColumnCount; ++i)
            sql += ", ?";
        return sql + ") ON CONFLICT DO NOTHING";
    }

    // time: the record's time text, which must outlive the statement's next step.
    static void bindRecord(SQLite::Statement &ins, std::int64_t id, const LogCsvValues &r, const char *time,
                           bool isShort)
    {
        ins.bind(1, id);
        ins.bind(2, r.recordNumber);
        ins.bindNoCopy(3, time);
        int i = 4;
        forEachValueColumn(r, [&](std::string_view, const auto &field, bool longOnly) {
            using T = std::remove_cvref_t<decltype(field)>;
            if (longOnly && isShort)
                ins.bind(i);
            else if constexpr (std::is_same_v<T, float>) {
                if (std::isnan(field))
                    ins.bind(i);
                else
                    ins.bind(i, static_cast<double>(field));
            } else {
                ins.bind(i, static_cast<std::int64_t>(field));
            }
            ++i;
        });
    }

    static LogCsvValues readRecord(SQLite::Statement &q)
    {
        LogCsvValues r;
        r.recordNumber = q.getColumn(0).getInt();
        readRecordTime(q.getColumn(1).getString(), r.dateTime);
        int i = 2;
        forEachValueColumn(r, [&](std::string_view, auto &field, bool) {
            using T = std::remove_reference_t<decltype(field)>;
            const SQLite::Column c = q.getColumn(i++);
            if constexpr (std::is_same_v<T, float>)
                field = c.isNull() ? std::nanf("") : static_cast<float>(c.getDouble());
            else
                field = static_cast<T>(c.getInt64());
        });
        return r;
    }

    std::string m_path;
    SQLite::Database m_db;
};

}  // namespace

std::unique_ptr<RecordStore> openSqliteStore(const std::string &path, bool createFolder)
{
    try {
        const std::filesystem::path file(path);
        const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
        if (createFolder)
            std::filesystem::create_directories(folder);
        else if (!std::filesystem::is_directory(folder))
            throw StoreError("cannot open the record store " + path + ": there is no folder " + folder.string());
        return std::make_unique<SqliteStore>(path);
    } catch (const SQLite::Exception &e) {
        throw StoreError("cannot open the record store " + path + ": " + e.what());
    } catch (const std::filesystem::filesystem_error &e) {
        throw StoreError("cannot open the record store " + path + ": " + e.code().message());
    }
}

}  // namespace tellumic::store
