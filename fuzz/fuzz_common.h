#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "foundation/clock.h"
#include "foundation/runtime_error.h"
#include "foundation/trace_log.h"

namespace tellumic::fuzz {

// Inputs run by the hundred thousand: no trace file, and message boxes answer themselves
// (no dialogs service is installed).
inline void quietProcess()
{
    auto trace = std::make_unique<TraceLog>(std::filesystem::path(), processClock());
    trace->forceState(TraceLog::Off);
    setProcessTraceLog(std::move(trace));
}

// An invariant that failed: abort so that libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                 \
    do {                                                                                 \
        if (!(cond)) {                                                                   \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

}  // namespace tellumic::fuzz
