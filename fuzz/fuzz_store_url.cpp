// The record store's URL reader: a URL is refused with a StoreError or names an SQLite file
// that SQLite takes as a plain file (never in memory, never a URI), or a connection that
// libpq can read. Nothing is opened.

#include <cstdint>
#include <libpq-fe.h>
#include <string_view>

#include "fuzz/fuzz_common.h"
#include "store/record_store.h"
#include "store/store_url.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    tellumic::fuzz::quietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace tellumic::store;
    const std::string_view url(reinterpret_cast<const char *>(data), size);
    StoreUrl parsed;
    try {
        parsed = parseStoreUrl(url);
    } catch (const StoreError &e) {
        const std::string_view what = e.what();
        FUZZ_CHECK(what.find('\0') == std::string_view::npos && what.find('\n') == std::string_view::npos);
        return 0;
    }
    const std::string &t = parsed.target;
    FUZZ_CHECK(t.find('\0') == std::string::npos);
    if (parsed.kind == StoreUrl::Kind::Sqlite) {
        FUZZ_CHECK(url.starts_with("sqlite:"));
        if (t.empty())
            return 0;
        FUZZ_CHECK(!t.starts_with("file:") && !t.starts_with(":memory:") && t.find('?') == std::string::npos);
        FUZZ_CHECK(!t.ends_with("/") && !t.ends_with("/.") && !t.ends_with("/..") && t != "." && t != "..");
        return 0;
    }
    FUZZ_CHECK(url.starts_with("postgres"));
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(t.c_str(), &error);
    FUZZ_CHECK(options != nullptr);
    PQconninfoFree(options);
    PQfreemem(error);
    return 0;
}
