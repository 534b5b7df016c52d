#include "tools/config/stop_signals.h"

namespace tellumic::config {

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};

volatile std::sig_atomic_t g_received = 0;

extern "C" void noteSignal(int signal)
{
    if (g_received == 0)
        g_received = signal;
}

}  // namespace

StopSignals::StopSignals()
{
    g_received = 0;
    for (int i = 0; i < 3; ++i) {
        struct sigaction current {};
        if (::sigaction(kSignals[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        struct sigaction noting {};
        noting.sa_handler = noteSignal;
        sigemptyset(&noting.sa_mask);
        // Restarted calls: a device call under way is finished, not failed by the signal.
        noting.sa_flags = SA_RESTART;
        m_installed[i] = ::sigaction(kSignals[i], &noting, &m_previous[i]) == 0;
    }
}

StopSignals::~StopSignals()
{
    for (int i = 0; i < 3; ++i)
        if (m_installed[i])
            ::sigaction(kSignals[i], &m_previous[i], nullptr);
}

int StopSignals::received() { return g_received; }

const char *signalName(int signal)
{
    switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

}  // namespace tellumic::config
