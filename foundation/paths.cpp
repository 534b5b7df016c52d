#include "foundation/paths.h"

#include <cstdlib>

namespace tellumic {

namespace {
std::filesystem::path fromEnv(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value ? std::filesystem::path(value) : std::filesystem::path();
}
}  // namespace

std::filesystem::path tellumicHome()
{
    if (auto home = fromEnv("TELLUMIC_HOME"); !home.empty())
        return home;
    if (auto data = fromEnv("XDG_DATA_HOME"); !data.empty())
        return data / "tellumic";
    if (auto home = fromEnv("HOME"); !home.empty())
        return home / ".local" / "share" / "tellumic";
    return std::filesystem::current_path() / "tellumic";
}

std::filesystem::path programPath(std::string_view name)
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const auto folder = ec ? std::filesystem::current_path() : self.parent_path();
    const auto beside = folder / name;
    const auto buildRoot = folder.parent_path();
    if (std::filesystem::exists(beside, ec) || !std::filesystem::is_regular_file(buildRoot / "CMakeCache.txt", ec))
        return beside;
    return buildRoot / (name == "tellumic-plugin" ? "host" : "tools") / name;
}

std::filesystem::path programFolder()
{
    return tellumicHome() / "Plug-In";
}

std::filesystem::path registryStorePath()
{
    return tellumicHome() / "registry.sqlite";
}

std::filesystem::path nativePath(std::string_view path)
{
    std::string p(path);
    for (char &c : p)
        if (c == '\\')
            c = '/';
    return std::filesystem::path(p);
}

std::filesystem::path joinPath(std::string_view folder, std::string_view name)
{
    return nativePath(std::string(folder) + "\\" + std::string(name));
}

}  // namespace tellumic
