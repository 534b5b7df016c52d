#pragma once

// The shape of a configuration file, checked key by key as the JSON parser meets them: an
// unknown or repeated key and a value of the wrong kind that would hold more keys are refused
// at once, so no file builds a tree larger than a configuration can be (and a repeated key
// is never silently dropped in favour of the last).

#include <string>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

namespace tellumic::config {

// The keys a file may hold at the top besides "format" and "entries", and the entry names
// of any family's catalogue (a file may hold one that this meter reads only).
bool isHeaderKey(const std::string &key);
bool isKnownEntryName(const std::string &name);

class ConfigJsonShape
{
public:
    using Json = nlohmann::ordered_json;

    // The parser's callback: throws RuntimeError kInvalidConfiguration with the reason.
    bool operator()(int depth, Json::parse_event_t event, const Json &parsed);

private:
    void startContainer(int depth, bool object);
    void checkKey(int depth, const std::string &key);
    [[noreturn]] void refuseKind(int depth) const;

    std::vector<std::string> m_path;                       // the key at each depth
    std::vector<std::unordered_set<std::string>> m_seen;  // the keys of each open object
};

}  // namespace tellumic::config
