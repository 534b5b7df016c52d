#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tellumic {

// The LonWorks installation's device-resource catalogue: which resource files (types,
// formats, functional profiles) are registered for which program-ID templates. Operations
// answer with result codes rather than errors.
class ResourceCatalogue
{
public:
    static constexpr std::int32_t kSuccess = 0;
    static constexpr std::int32_t kNotFound = 4;
    static constexpr std::int32_t kAlreadyPresent = 15;

    struct QueryResult
    {
        std::int32_t code = kNotFound;
        std::int32_t versionMajor = 0;
        std::int32_t versionMinor = 0;
    };

    virtual ~ResourceCatalogue() = default;
    // Opens the catalogue at the LonWorks folder or at its "Types" folder.
    virtual std::int32_t open(const std::string &path) = 0;
    virtual QueryResult query(std::string_view programIdTemplate, std::int32_t scope) = 0;
    virtual std::int32_t addDirectory(const std::string &directory) = 0;
    virtual std::int32_t refresh() = 0;
    virtual std::int32_t close() = 0;
    // Whether a resource file of the kind that defines functional profiles (kind 4) at this
    // scope defines the profile with this key.
    virtual bool findFunctionalProfile(std::int32_t profileKey, std::int32_t scope) = 0;
};

// The catalogue of this machine's LonWorks installation; the composition root installs
// the factory. Without one, no catalogue can be opened.
using ResourceCatalogueFactory = std::function<std::unique_ptr<ResourceCatalogue>()>;
void setResourceCatalogueFactory(ResourceCatalogueFactory factory);
std::unique_ptr<ResourceCatalogue> createResourceCatalogue();

}  // namespace tellumic
