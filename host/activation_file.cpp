#include "host/activation_file.h"

#include <cstdlib>
#include <fstream>
#include <utility>
#include <vector>

#include "foundation/plugin_state.h"

namespace tellumic {

namespace {

// The words of an Exec line as the bus splits them: blanks separate, double quotes group,
// a backslash takes the next character as it is.
std::vector<std::string> execWords(const std::string &line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            word.push_back(line[++i]);
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(std::exchange(word, {}));
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

std::filesystem::path comparable(const std::filesystem::path &path)
{
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : canonical;
}

}  // namespace

std::filesystem::path activationFilePath()
{
    const char *data = std::getenv("XDG_DATA_HOME");
    const char *home = std::getenv("HOME");
    const std::filesystem::path base = data && *data ? std::filesystem::path(data)
                                                     : std::filesystem::path(home ? home : ".") / ".local" / "share";
    return base / "dbus-1" / "services" / (std::string(kProgId) + ".service");
}

std::filesystem::path activatedProgram()
{
    std::ifstream in(activationFilePath());
    std::string line;
    while (std::getline(in, line)) {
        if (!line.starts_with("Exec="))
            continue;
        const auto words = execWords(line.substr(5));
        std::size_t i = 0;
        if (i < words.size() && std::filesystem::path(words[i]).filename() == "env")
            ++i;
        while (i < words.size() && words[i].find('=') != std::string::npos)
            ++i;
        return i < words.size() ? std::filesystem::path(words[i]) : std::filesystem::path();
    }
    return {};
}

std::string otherActivationNote(const std::filesystem::path &program)
{
    const auto activated = activatedProgram();
    if (activated.empty() || comparable(activated) == comparable(program))
        return {};
    return "the session bus starts the plug-in " + activated.string() + ", as " + activationFilePath().string() +
           " says (an earlier /regserver wrote it), not " + program.string() + "; '" + program.string() +
           " /regserver' has it start that one instead, '" + program.string() + " /unregserver' removes the file";
}

}  // namespace tellumic
