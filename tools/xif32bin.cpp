// XIF32BIN: converts an external interface file (XIF) into its binary form (XFB).
// Usage: XIF32BIN XIF-PATH XFB-PATH

#include <cstdio>
#include <cstring>
#include <exception>

#include "sim/xif_files.h"
#include "tools/standard_output.h"

namespace {

const char *const kUsage = "Usage: XIF32BIN XIF-PATH XFB-PATH\n"
                           "Converts the external interface file XIF-PATH into its binary form XFB-PATH.\n";

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return tellumic::checkedExit("XIF32BIN", 0, 2);
    }
    if (argc != 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        if (const auto why = tellumic::sim::convertXifToXfb(argv[1], argv[2]); !why.empty()) {
            std::fprintf(stderr, "XIF32BIN: cannot convert %s: %s\n", argv[1], why.c_str());
            return 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "XIF32BIN: cannot convert %s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
