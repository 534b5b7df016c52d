#pragma once

#include <string>
#include <vector>

namespace tellumic {

// Runs a program with its arguments passed directly (no shell) and waits for it to end,
// keeping the window alive meanwhile. Returns its exit status, or -1 when it could not run
// or did not exit normally. While it runs, the child is on the list that
// terminateChildProcesses() ends.
int runChildAndWait(const std::string &program, const std::vector<std::string> &args);

// Ends every child still running: asks them to stop, and kills those that do not within
// a short grace time.
void terminateChildProcesses();

// Ends this process at once with its children; nothing on the stack runs afterwards. For
// the end of a plug-in run, which may come from inside a blocking step (the watchdog).
[[noreturn]] void endProcessNow(int exitCode);

}  // namespace tellumic
