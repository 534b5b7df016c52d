// XIF32BIN: converts an external interface file (XIF) into its binary form (XFB).
// Usage: XIF32BIN XIF-PATH XFB-PATH

#include <cstdio>

#include "sim/xif_files.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("Usage: XIF32BIN XIF-PATH XFB-PATH\n", stderr);
        return 2;
    }
    if (!tellumic::sim::convertXifToXfb(argv[1], argv[2])) {
        std::fprintf(stderr, "XIF32BIN: cannot convert %s\n", argv[1]);
        return 1;
    }
    return 0;
}
