#pragma once

// A network's harvest runs in a process of its own; it tells the harvest's main process
// what happens as lines on a pipe, one event a line, which the main process replays into
// its own report.

#include <string>
#include <string_view>

#include "log/harvest.h"

namespace tellumic::harvest {

// Writes each event as one line to a file descriptor (a pipe). Once the reader is gone,
// broken() says so and nothing more is written.
class PipeReport final : public HarvestReport
{
public:
    explicit PipeReport(int fd) : m_fd(fd) {}

    void planned(const std::string &network, const std::vector<MeterPlan> &meters) override;
    void started(const MeterProgress &progress) override;
    void progress(const MeterProgress &progress) override;
    void finished(const MeterResult &result) override;
    void networkMessage(const std::string &network, const std::string &text) override;

    bool broken() const { return m_broken; }
    int fd() const { return m_fd; }

private:
    void send(const std::string &line);

    int m_fd;
    bool m_broken = false;
};

// Replays one line (without its line end) into a report; false when the line is no event.
bool replayEvent(std::string_view line, HarvestReport &report);

}  // namespace tellumic::harvest
