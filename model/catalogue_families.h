#pragma once

#include <vector>

#include "model/nv_cp.h"

namespace tellumic {

// One row of a family's catalogue, as AddNvCp takes it.
struct CatalogueRow
{
    const char *name;
    const char *kind;
    const char *tab;
    const char *block;
    ControlRef value;
    bool monitored;
    const char *cpAddress;
    const char *typeName;
    ControlRef unit;
};

enum class CatalogueFamilyRows { F302, F312, F362, F363 };

// The rows of a family in catalogue order. The two flags add family 363's optional rows.
std::vector<CatalogueRow> familyRows(CatalogueFamilyRows family, bool includeLogging, bool includePtRatio);

}  // namespace tellumic
