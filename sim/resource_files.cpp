#include "sim/resource_files.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <set>
#include <sstream>
#include <vector>

#include "foundation/text.h"
#include "sim/file_lock.h"

namespace tellumic::sim {

namespace fs = std::filesystem;

namespace {

constexpr const char *kIndexName = "ldrf.cat";
constexpr const char *kMakerTemplate = "80B7E50000000000";
constexpr int kMakerScope = 3;
// Profiles of the meter maker: the meter's measurement blocks, calibration, configuration.
constexpr const char *kMakerProfiles = "20010 20011 20012";
// The standard profiles: the node object.
constexpr const char *kStandardProfiles = "0";

// The kinds of resource file by extension: types, formats, language, functional profiles.
constexpr const char *kResourceExtensions[] = {".TYP", ".FMT", ".ENG", ".FPT"};
// A resource file or the catalogue's index is small; anything larger is not one.
constexpr std::size_t kMaxResourceFileBytes = 64 * 1024;
constexpr std::size_t kMaxIndexBytes = 1024 * 1024;

// The whole of a regular file of at most maxBytes, or nothing. Opened without waiting, so
// that a pipe or device that happens to carry a resource file's name never blocks the
// catalogue; only regular files are read, and never more than maxBytes.
std::optional<std::string> readSmallFile(const fs::path &file, std::size_t maxBytes)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> out;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::string bytes;
        char buffer[4096];
        for (;;) {
            const auto n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n == 0)
                    out = std::move(bytes);
                break;
            }
            if (bytes.size() + static_cast<std::size_t>(n) > maxBytes)
                break;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return out;
}

bool isResourceFileName(const fs::path &file)
{
    const auto extension = toUpperAscii(file.extension().string());
    for (const char *e : kResourceExtensions)
        if (extension == e)
            return true;
    return false;
}

struct ResourceFile
{
    std::string programIdTemplate;
    int scope = -1;
    int kind = 0;
    int major = 0, minor = 0;
    std::set<std::int32_t> profiles;
};

std::optional<ResourceFile> readResourceFile(const fs::path &file)
{
    const auto text = readSmallFile(file, kMaxResourceFileBytes);
    if (!text)
        return std::nullopt;
    std::istringstream in(*text);
    ResourceFile r;
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const auto key = line.substr(0, eq);
        const auto value = line.substr(eq + 1);
        if (key == "ProgramIdTemplate")
            r.programIdTemplate = toUpperAscii(value);
        else if (key == "Scope")
            r.scope = std::atoi(value.c_str());
        else if (key == "Kind")
            r.kind = std::atoi(value.c_str());
        else if (key == "Version") {
            r.major = std::atoi(value.c_str());
            const auto dot = value.find('.');
            r.minor = dot == std::string::npos ? 0 : std::atoi(value.c_str() + dot + 1);
        } else if (key == "Profiles") {
            std::istringstream s(value);
            std::int32_t k = 0;
            while (s >> k)
                r.profiles.insert(k);
        }
    }
    return r.scope >= 0 && r.kind > 0 ? std::optional(r) : std::nullopt;
}

fs::path sameFolder(const fs::path &p)
{
    std::error_code ec;
    auto c = fs::weakly_canonical(p, ec);
    return ec ? p.lexically_normal() : c;
}

class FileCatalogue final : public ResourceCatalogue
{
public:
    std::int32_t open(const std::string &path) override
    {
        fs::path p(path);
        if (toUpperAscii(p.filename().string()) != "TYPES")
            p /= "Types";
        if (!fs::is_directory(p))
            return kNotFound;
        m_types = p;
        m_open = true;
        return refresh();
    }

    QueryResult query(std::string_view programIdTemplate, std::int32_t scope) override
    {
        QueryResult r;
        if (!m_open)
            return r;
        for (const auto &f : m_files)
            if (f.programIdTemplate == toUpperAscii(programIdTemplate) && f.scope == scope)
                return {kSuccess, f.major, f.minor};
        return r;
    }

    std::int32_t addDirectory(const std::string &directory) override
    {
        if (!m_open || !fs::is_directory(directory))
            return kNotFound;
        const auto folder = sameFolder(directory);
        // Two programs adding at once: the index is looked at and extended under its lock.
        try {
            FileLock index(m_types / kIndexName);
            for (const auto &f : registered())
                if (sameFolder(f) == folder)
                    return kAlreadyPresent;
            const std::string line = folder.string() + "\n";
            return ::write(index.fd(), line.data(), line.size()) == static_cast<ssize_t>(line.size()) ? kSuccess
                                                                                                     : kNotFound;
        } catch (const fs::filesystem_error &) {
            return kNotFound;  // the index cannot be opened or locked
        }
    }

    std::int32_t refresh() override
    {
        if (!m_open)
            return kNotFound;
        m_files.clear();
        for (const auto &folder : registered()) {
            std::error_code ec;
            for (const auto &entry : fs::directory_iterator(folder, ec))
                if (isResourceFileName(entry.path()))
                    if (auto f = readResourceFile(entry.path()))
                        m_files.push_back(*f);
        }
        return kSuccess;
    }

    std::int32_t close() override
    {
        if (!m_open)
            return kNotFound;
        m_open = false;
        m_files.clear();
        return kSuccess;
    }

    bool findFunctionalProfile(std::int32_t profileKey, std::int32_t scope) override
    {
        for (const auto &f : m_files)
            if (f.kind == 4 && f.scope == scope && f.profiles.count(profileKey))
                return true;
        return false;
    }

private:
    std::vector<fs::path> registered() const
    {
        std::vector<fs::path> out;
        std::istringstream in(readSmallFile(m_types / kIndexName, kMaxIndexBytes).value_or(""));
        std::string line;
        while (std::getline(in, line))
            if (!line.empty())
                out.emplace_back(line);
        return out;
    }

    fs::path m_types;
    bool m_open = false;
    std::vector<ResourceFile> m_files;
};

void writeSet(const fs::path &folder, const std::string &base, const std::string &programIdTemplate, int scope,
              const std::string &version, const std::string &profiles)
{
    fs::create_directories(folder);
    const char *extensions[] = {"typ", "fmt", "eng", "fpt"};
    for (int kind = 1; kind <= 4; ++kind) {
        std::ofstream out(folder / (base + "." + extensions[kind - 1]));
        out << "ProgramIdTemplate=" << programIdTemplate << "\nScope=" << scope << "\nKind=" << kind << "\nVersion=" << version
            << "\n";
        if (kind == 4)
            out << "Profiles=" << profiles << "\n";
    }
}

void registerFolder(const fs::path &lonWorksFolder, const fs::path &folder)
{
    FileCatalogue c;
    c.open(lonWorksFolder.string());
    c.addDirectory(folder.string());
    c.close();
}

}  // namespace

std::unique_ptr<ResourceCatalogue> makeResourceCatalogue()
{
    return std::make_unique<FileCatalogue>();
}

void installResourceFiles(const fs::path &lonWorksFolder, int major, int minor)
{
    const auto types = lonWorksFolder / "Types";
    writeSet(types, "STANDARD", "0000000000000000", 0, "14.0", kStandardProfiles);
    registerFolder(lonWorksFolder, types);
    const auto maker = types / "User" / "HVI";
    writeSet(maker, "HVI", kMakerTemplate, kMakerScope, std::to_string(major) + "." + std::to_string(minor), kMakerProfiles);
    registerFolder(lonWorksFolder, maker);
}

void removeMakerResourceFiles(const fs::path &lonWorksFolder)
{
    const auto types = lonWorksFolder / "Types";
    const auto maker = sameFolder(types / "User" / "HVI");
    std::error_code ec;
    for (const char *ext : {"typ", "fmt", "eng", "fpt"})
        fs::remove(maker / (std::string("HVI.") + ext), ec);
    std::ifstream in(types / kIndexName);
    std::string line, kept;
    while (std::getline(in, line))
        if (!line.empty() && sameFolder(line) != maker)
            kept += line + "\n";
    in.close();
    std::ofstream(types / kIndexName, std::ios::trunc) << kept;
}

}  // namespace tellumic::sim
