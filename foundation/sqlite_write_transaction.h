#pragma once

// A write transaction on an SQLite database, rolled back unless committed.

#include <SQLiteCpp/Database.h>

namespace tellumic {

// BEGIN IMMEDIATE takes the write lock up front, so two writers queue on the busy
// timeout instead of one of them failing on a lock upgrade.
class SqliteWriteTransaction
{
public:
    explicit SqliteWriteTransaction(SQLite::Database &db) : m_db(db) { m_db.exec("BEGIN IMMEDIATE"); }
    ~SqliteWriteTransaction()
    {
        if (!m_done) {
            try {
                m_db.exec("ROLLBACK");
            } catch (...) {
                // The database is already failing; the error that got here is the one to report.
            }
        }
    }
    SqliteWriteTransaction(const SqliteWriteTransaction &) = delete;
    SqliteWriteTransaction &operator=(const SqliteWriteTransaction &) = delete;

    void commit()
    {
        m_db.exec("COMMIT");
        m_done = true;
    }

private:
    SQLite::Database &m_db;
    bool m_done = false;
};

}  // namespace tellumic
