// XIF32BIN: converts an external interface file (XIF) into its binary form (XFB).
// Usage: XIF32BIN XIF-PATH XFB-PATH

#include <cstdio>
#include <exception>

#include "sim/xif_files.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("Usage: XIF32BIN XIF-PATH XFB-PATH\n", stderr);
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
