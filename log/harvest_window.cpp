#include "log/harvest_window.h"

namespace tellumic::harvest_parts {

namespace {

constexpr std::string_view kZeroRecords = "Zero log records downloaded!";

}  // namespace

std::string oneLine(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n')
                ++i;
            if (!out.empty() && out.back() != ' ')
                out.push_back(' ');
        } else {
            out.push_back(text[i]);
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::vector<std::string> boxNotes(const CountingDialogs &boxes, std::string_view except)
{
    std::vector<std::string> out;
    for (const auto &[text, count] : boxes.texts())
        if (text != except && text != kZeroRecords)
            out.push_back(count == 1 ? text : text + " (" + std::to_string(count) + " times)");
    return out;
}

}  // namespace tellumic::harvest_parts
