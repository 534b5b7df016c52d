#include "config/config_json_shape.h"

#include "config/config_file.h"

namespace tellumic::config {

namespace {

[[noreturn]] void refuse(const std::string &reason) { throw RuntimeError(kInvalidConfiguration, reason); }

std::string inQuotes(const std::string &s) { return "\"" + s + "\""; }

}  // namespace

bool ConfigJsonShape::operator()(int depth, Json::parse_event_t event, const Json &parsed)
{
    switch (event) {
    case Json::parse_event_t::object_start:
        startContainer(depth, true);
        break;
    case Json::parse_event_t::array_start:
        startContainer(depth, false);
        break;
    case Json::parse_event_t::key:
        checkKey(depth, parsed.get_ref<const std::string &>());
        break;
    default:
        break;
    }
    return true;
}

// Objects belong at the top, as "entries" and as each entry; arrays nowhere.
void ConfigJsonShape::startContainer(int depth, bool object)
{
    const bool expected = depth == 0 || (depth == 1 && m_path[0] == "entries") || depth == 2;
    if (!object || !expected)
        refuseKind(depth);
    m_seen.resize(static_cast<std::size_t>(depth) + 1);
    m_seen[static_cast<std::size_t>(depth)].clear();
}

// What a value of the wrong kind at this depth is refused with (the same reasons as the
// checks of the whole file give).
void ConfigJsonShape::refuseKind(int depth) const
{
    if (depth == 0)
        refuse("not a JSON configuration file");
    if (depth == 1)
        refuse(m_path[0] == "format"    ? std::string("\"format\" must be a whole number")
               : m_path[0] == "entries" ? std::string("\"entries\" must be an object")
                                        : inQuotes(m_path[0]) + " must be a string");
    const std::string where = "Entry " + inQuotes(m_path[1]) + ": ";
    if (depth == 2)
        refuse(where + "must be an object with \"raw\", \"text\" and \"unit\"");
    refuse(where + inQuotes(m_path[2]) + " must be a string");
}

void ConfigJsonShape::checkKey(int depth, const std::string &key)
{
    const auto level = static_cast<std::size_t>(depth);
    m_path.resize(level);
    m_path[level - 1] = key;
    const std::string where = depth == 3 ? "Entry " + inQuotes(m_path[1]) + ": " : std::string();
    if (!m_seen[level - 1].insert(key).second)
        refuse(where + (depth == 2 ? "the entry " : "the key ") + inQuotes(key) + " is given twice");
    if (depth == 1 && !isHeaderKey(key) && key != "format" && key != "entries")
        refuse("unknown key " + inQuotes(key));
    if (depth == 2 && !isKnownEntryName(key))
        refuse("unknown entry " + inQuotes(key));
    if (depth == 3 && key != "raw" && key != "text" && key != "unit")
        refuse(where + "unknown key " + inQuotes(key));
}

}  // namespace tellumic::config
