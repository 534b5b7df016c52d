#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace SQLite {
class Database;
}

namespace tellumic {

// Predefined root keys, as the plug-in passes them.
inline constexpr std::uint32_t kHkeyCurrentUser = 0x80000001u;
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002u;

// Value types kept in the store.
namespace RegType {
inline constexpr int kString = 1;
inline constexpr int kBinary = 3;
inline constexpr int kDword = 4;
}  // namespace RegType

// A hierarchical key/value store in SQLite standing in for the machine's registry. Keys are
// "\"-separated paths under a root, compared without regard to ASCII case; each key holds
// named values and a default value (the empty name). Sub-keys enumerate in name order.
// Several processes may use one store at once: writes wait for each other, none is lost.
class RegistryStore
{
public:
    // How long a call waits for another program's lock on the store before it fails.
    static constexpr int kBusyTimeoutMs = 60'000;

    explicit RegistryStore(std::filesystem::path file, int busyTimeoutMs = kBusyTimeoutMs);
    ~RegistryStore();
    RegistryStore(const RegistryStore &) = delete;
    RegistryStore &operator=(const RegistryStore &) = delete;

    struct Value
    {
        int type = 0;
        std::string data;  // the stored bytes; strings carry their terminating NUL
    };

    // All of these report failure (a missing key, an unusable store) by their result,
    // never by throwing.
    bool keyExists(std::uint32_t root, std::string_view key);
    bool createKey(std::uint32_t root, std::string_view key);
    std::optional<Value> queryValue(std::uint32_t root, std::string_view key, std::string_view name);
    // Writes a value into an existing key.
    bool setValue(std::uint32_t root, std::string_view key, std::string_view name, const Value &value);

    enum class DeleteResult { Deleted, NotFound, HasSubKeys, Failed };
    DeleteResult deleteKey(std::uint32_t root, std::string_view key);

    // Sub-key number index (from 0) in name order, or nothing past the end.
    std::optional<std::string> subKey(std::uint32_t root, std::string_view key, std::uint32_t index);

    // Normalised form of a key path: no leading, trailing or doubled "\"; nullopt when invalid.
    static std::optional<std::string> normalise(std::string_view key);

    // Why the store itself could not be used (locked past the busy timeout, damaged,
    // unreadable), from the first call that met it; "" while every call reached it. A
    // missing key or value is no store failure: it tells the two apart.
    const std::string &storeFailure() const { return m_storeFailure; }

private:
    SQLite::Database *db();
    void noteFailure(const std::exception &e);

    std::filesystem::path m_file;
    int m_busyTimeoutMs;
    std::unique_ptr<SQLite::Database> m_db;
    std::string m_storeFailure;
};

}  // namespace tellumic
