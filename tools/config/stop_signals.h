#pragma once

// SIGTERM, SIGINT and SIGHUP while meters are written: the signal is noted instead of ending
// the program at once, so that the meter being written is finished or put back first.

#include <csignal>

namespace tellumic::config {

class StopSignals
{
public:
    // Catches the three signals (one ignored when this starts, as under nohup, stays ignored).
    StopSignals();
    // Puts the earlier handlers back.
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // The signal that came, 0 while none did.
    static int received();

private:
    struct sigaction m_previous[3] = {};
    bool m_installed[3] = {};
};

// "SIGTERM" for SIGTERM, and so on.
const char *signalName(int signal);

}  // namespace tellumic::config
