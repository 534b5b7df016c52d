#include "foundation/resource_catalogue.h"

namespace tellumic {

namespace {
ResourceCatalogueFactory g_factory;
}

void setResourceCatalogueFactory(ResourceCatalogueFactory factory)
{
    g_factory = std::move(factory);
}

std::unique_ptr<ResourceCatalogue> createResourceCatalogue()
{
    return g_factory ? g_factory() : nullptr;
}

}  // namespace tellumic
