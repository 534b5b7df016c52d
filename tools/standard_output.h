#pragma once

// The end of a command-line program: what it printed must have reached standard output (a
// full disk or a closed pipe would otherwise lose it behind a success status).

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace tellumic {

// Flushes standard output; status when everything reached it, otherwise errorStatus after
// "<program>: cannot write standard output: <reason>" on standard error.
inline int checkedExit(const char *program, int status, int errorStatus)
{
    errno = 0;
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const int err = errno;
    if (flushed && std::cout.good() && std::ferror(stdout) == 0)
        return status;
    std::fprintf(stderr, "%s: cannot write standard output%s%s\n", program, err != 0 ? ": " : "",
                 err != 0 ? std::strerror(err) : "");
    return errorStatus == 0 ? 1 : errorStatus;
}

}  // namespace tellumic
