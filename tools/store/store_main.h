#pragma once

#include <string>
#include <vector>

namespace tellumic::storecli {

// tellumic-log store FILE.csv... --store URL [--network NAME]
int storeMain(const std::vector<std::string> &args);
// tellumic-log export --store URL --meter NAME [--network NAME] [--short|--long] [--from TIME] [--to TIME]
int exportMain(const std::vector<std::string> &args);

}  // namespace tellumic::storecli
