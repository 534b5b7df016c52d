#include "store/store_url.h"

#include <algorithm>
#include <libpq-fe.h>

#include "store/record_store.h"

namespace tellumic::store {

namespace {

constexpr const char *kForms = "use sqlite:PATH, sqlite: or postgresql://...";

[[noreturn]] void refuse(std::string_view url, const std::string &why)
{
    std::string shown(url);
    // A URL is shown on one line; control characters (a NUL among them) as "?".
    std::replace_if(shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    throw StoreError("\"" + shown + "\" is not a record store URL: " + why);
}

// The path of sqlite:PATH: a file's path, nothing SQLite reads as other than one.
std::string sqlitePath(std::string_view url, std::string_view path)
{
    if (path.find('\0') != std::string_view::npos || std::any_of(path.begin(), path.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20;
        }))
        refuse(url, "a path with control characters");
    if (path == ":memory:" || path.starts_with(":memory:"))
        refuse(url, "an in-memory database keeps no record; name a file (sqlite:PATH)");
    if (path.starts_with("file:") || path.starts_with("//"))
        refuse(url, "URI forms (file:..., sqlite://...) are not taken; name the file: sqlite:PATH");
    if (path.find('?') != std::string_view::npos)
        refuse(url, "a path with \"?\" (URI parameters are not taken); name the file: sqlite:PATH");
    const std::size_t slash = path.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (last.empty() || last == "." || last == "..")
        refuse(url, "the path names a folder, not a file");
    return std::string(path);
}

// What libpq would make of a connection string or URL; refused when it cannot read it.
void checkConninfo(std::string_view url, const std::string &conninfo)
{
    if (conninfo.find('\0') != std::string::npos)
        refuse(url, "a NUL character");
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(conninfo.c_str(), &error);
    if (options) {
        PQconninfoFree(options);
        return;
    }
    std::string why = error ? error : "out of memory";
    PQfreemem(error);
    while (!why.empty() && (why.back() == '\n' || why.back() == ' '))
        why.pop_back();
    std::replace(why.begin(), why.end(), '\n', ' ');
    // As libpq would have said it when connecting.
    throw StoreError("cannot connect to the record store: " + why);
}

}  // namespace

StoreUrl parseStoreUrl(std::string_view url)
{
    StoreUrl parsed;
    if (url.starts_with("sqlite:")) {
        const std::string_view path = url.substr(7);
        parsed.kind = StoreUrl::Kind::Sqlite;
        parsed.target = path.empty() ? std::string() : sqlitePath(url, path);
        return parsed;
    }
    parsed.kind = StoreUrl::Kind::Postgresql;
    if (url.starts_with("postgresql://") || url.starts_with("postgres://"))
        parsed.target = std::string(url);
    else if (url.starts_with("postgresql:"))
        parsed.target = std::string(url.substr(11));
    else
        refuse(url, kForms);
    checkConninfo(url, parsed.target);
    return parsed;
}

}  // namespace tellumic::store
