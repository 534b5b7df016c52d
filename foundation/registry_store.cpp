#include "foundation/registry_store.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <cerrno>
#include <unistd.h>

#include <vector>

#include "foundation/sqlite_write_transaction.h"

namespace tellumic {

namespace {

std::string parentOf(const std::string &path)
{
    const auto pos = path.rfind('\\');
    return pos == std::string::npos ? std::string() : path.substr(0, pos);
}

std::string leafOf(const std::string &path)
{
    const auto pos = path.rfind('\\');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

bool keyExistsIn(SQLite::Database &db, std::uint32_t root, const std::string &path)
{
    if (path.empty())
        return true;
    SQLite::Statement q(db, "SELECT 1 FROM reg_keys WHERE root = ? AND path = ?");
    q.bind(1, static_cast<std::int64_t>(root));
    q.bind(2, path);
    return q.executeStep();
}

}  // namespace

RegistryStore::RegistryStore(std::filesystem::path file, int busyTimeoutMs)
    : m_file(std::move(file)), m_busyTimeoutMs(busyTimeoutMs)
{
}

void RegistryStore::noteFailure(const std::exception &e)
{
    if (!m_storeFailure.empty())
        return;
    m_storeFailure = e.what();
    // The store needs to write beside its file (its journal) even to be read: a folder or a
    // file this user may not write is the cause to name, not the database's own words.
    const std::filesystem::path folder = m_file.has_parent_path() ? m_file.parent_path() : std::filesystem::path(".");
    if (::access(folder.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS))
        m_storeFailure = "the folder " + folder.string() + " is read-only (" + m_storeFailure + ")";
    else if (::access(m_file.c_str(), F_OK) == 0 && ::access(m_file.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS))
        m_storeFailure = "the file " + m_file.string() + " is read-only (" + m_storeFailure + ")";
}

RegistryStore::~RegistryStore() = default;

SQLite::Database *RegistryStore::db()
{
    if (m_db)
        return m_db.get();
    std::error_code ec;
    if (m_file.has_parent_path())
        std::filesystem::create_directories(m_file.parent_path(), ec);
    auto db = std::make_unique<SQLite::Database>(m_file.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE,
                                                 m_busyTimeoutMs);
    db->exec("PRAGMA journal_mode = WAL");
    db->exec("PRAGMA synchronous = NORMAL");
    SqliteWriteTransaction tx(*db);
    db->exec("CREATE TABLE IF NOT EXISTS reg_keys ("
             " root INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
             " parent TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,"
             " PRIMARY KEY (root, path))");
    db->exec("CREATE INDEX IF NOT EXISTS reg_keys_parent ON reg_keys (root, parent, name)");
    db->exec("CREATE TABLE IF NOT EXISTS reg_values ("
             " root INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,"
             " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY (root, path, name))");
    tx.commit();
    m_db = std::move(db);
    return m_db.get();
}

std::optional<std::string> RegistryStore::normalise(std::string_view key)
{
    std::string out;
    std::size_t i = 0;
    while (i < key.size()) {
        const auto next = key.find('\\', i);
        const auto part = key.substr(i, next == std::string_view::npos ? std::string_view::npos : next - i);
        if (!part.empty()) {
            if (!out.empty())
                out.push_back('\\');
            out.append(part);
        }
        if (next == std::string_view::npos)
            break;
        i = next + 1;
    }
    if (out.size() > 255 * 32)
        return std::nullopt;
    return out;
}

bool RegistryStore::keyExists(std::uint32_t root, std::string_view key)
{
    try {
        const auto path = normalise(key);
        return path && keyExistsIn(*db(), root, *path);
    } catch (const std::exception &e) {
        noteFailure(e);
        return false;
    }
}

bool RegistryStore::createKey(std::uint32_t root, std::string_view key)
{
    try {
        const auto path = normalise(key);
        if (!path)
            return false;
        auto &d = *db();
        SqliteWriteTransaction tx(d);
        // Every missing ancestor is created along with the key.
        std::vector<std::string> chain;
        for (std::string p = *path; !p.empty(); p = parentOf(p))
            chain.push_back(p);
        SQLite::Statement ins(d, "INSERT OR IGNORE INTO reg_keys (root, path, parent, name) VALUES (?, ?, ?, ?)");
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            ins.bind(1, static_cast<std::int64_t>(root));
            ins.bind(2, *it);
            ins.bind(3, parentOf(*it));
            ins.bind(4, leafOf(*it));
            ins.exec();
            ins.reset();
        }
        tx.commit();
        return true;
    } catch (const std::exception &e) {
        noteFailure(e);
        return false;
    }
}

std::optional<RegistryStore::Value> RegistryStore::queryValue(std::uint32_t root, std::string_view key,
                                                              std::string_view name)
{
    try {
        const auto path = normalise(key);
        if (!path)
            return std::nullopt;
        auto &d = *db();
        SQLite::Statement q(d, "SELECT type, data FROM reg_values WHERE root = ? AND path = ? AND name = ?");
        q.bind(1, static_cast<std::int64_t>(root));
        q.bind(2, *path);
        q.bind(3, std::string(name));
        if (!q.executeStep())
            return std::nullopt;
        const auto data = q.getColumn(1);
        return Value{q.getColumn(0).getInt(),
                     std::string(static_cast<const char *>(data.getBlob()), static_cast<std::size_t>(data.getBytes()))};
    } catch (const std::exception &e) {
        noteFailure(e);
        return std::nullopt;
    }
}

bool RegistryStore::setValue(std::uint32_t root, std::string_view key, std::string_view name, const Value &value)
{
    try {
        const auto path = normalise(key);
        if (!path)
            return false;
        auto &d = *db();
        SqliteWriteTransaction tx(d);
        if (!keyExistsIn(d, root, *path))
            return false;
        SQLite::Statement up(d, "INSERT OR REPLACE INTO reg_values (root, path, name, type, data) VALUES (?, ?, ?, ?, ?)");
        up.bind(1, static_cast<std::int64_t>(root));
        up.bind(2, *path);
        up.bind(3, std::string(name));
        up.bind(4, value.type);
        up.bind(5, value.data.data(), static_cast<int>(value.data.size()));
        up.exec();
        tx.commit();
        return true;
    } catch (const std::exception &e) {
        noteFailure(e);
        return false;
    }
}

RegistryStore::DeleteResult RegistryStore::deleteKey(std::uint32_t root, std::string_view key)
{
    try {
        const auto path = normalise(key);
        if (!path || path->empty())
            return DeleteResult::Failed;
        auto &d = *db();
        SqliteWriteTransaction tx(d);
        if (!keyExistsIn(d, root, *path))
            return DeleteResult::NotFound;
        SQLite::Statement children(d, "SELECT 1 FROM reg_keys WHERE root = ? AND parent = ? LIMIT 1");
        children.bind(1, static_cast<std::int64_t>(root));
        children.bind(2, *path);
        if (children.executeStep())
            return DeleteResult::HasSubKeys;
        for (const char *sql : {"DELETE FROM reg_values WHERE root = ? AND path = ?",
                                "DELETE FROM reg_keys WHERE root = ? AND path = ?"}) {
            SQLite::Statement del(d, sql);
            del.bind(1, static_cast<std::int64_t>(root));
            del.bind(2, *path);
            del.exec();
        }
        tx.commit();
        return DeleteResult::Deleted;
    } catch (const std::exception &e) {
        noteFailure(e);
        return DeleteResult::Failed;
    }
}

std::optional<std::string> RegistryStore::subKey(std::uint32_t root, std::string_view key, std::uint32_t index)
{
    try {
        const auto path = normalise(key);
        if (!path)
            return std::nullopt;
        auto &d = *db();
        if (!keyExistsIn(d, root, *path))
            return std::nullopt;
        SQLite::Statement q(d, "SELECT name FROM reg_keys WHERE root = ? AND parent = ? ORDER BY name LIMIT 1 OFFSET ?");
        q.bind(1, static_cast<std::int64_t>(root));
        q.bind(2, *path);
        q.bind(3, static_cast<std::int64_t>(index));
        if (!q.executeStep())
            return std::nullopt;
        return q.getColumn(0).getString();
    } catch (const std::exception &e) {
        noteFailure(e);
        return std::nullopt;
    }
}

}  // namespace tellumic
