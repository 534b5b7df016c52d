#pragma once

#include <functional>

#include "foundation/dialogs.h"
#include "foundation/runtime_error.h"

namespace tellumic {

// Runs a step that may fail with a RuntimeError and puts the failure to the user as an
// Abort/Retry/Ignore question: Retry runs the step again, Ignore goes on as if it had
// succeeded (true), Abort gives up (false). ask traces and shows the question.
inline bool runWithRetry(const std::function<void()> &step, const std::function<MsgResult(const RuntimeError &)> &ask)
{
    for (;;) {
        try {
            step();
            return true;
        } catch (const RuntimeError &e) {
            switch (ask(e)) {
            case MsgResult::Retry:
                continue;
            case MsgResult::Ignore:
                return true;
            default:
                return false;
            }
        }
    }
}

}  // namespace tellumic
