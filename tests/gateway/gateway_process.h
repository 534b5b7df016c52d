#pragma once

// The built tellumic-gateway run in the background on the demo installation of a test's
// TELLUMIC_HOME, as a service manager runs it.

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"

namespace tellumic::gateway::test {

using tellumic::test::runCommand;
using namespace std::chrono_literals;

inline const std::string kGateway = TELLUMIC_GATEWAY_PATH;

inline std::string shellQuoted(const std::string &text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A gateway running in the background: its port from what it prints, its exit status once
// a signal ended it.
class RunningGatewayTest : public sim::test::SimTest
{
public:
    void TearDown() override
    {
        if (!m_started.empty())
            runCommand("kill -KILL $(cat " + shellQuoted(m_pidFile) + ") 2>/dev/null");
        SimTest::TearDown();
    }

    void startGateway(const std::string &network, const std::string &options)
    {
        const auto dir = home.root().string();
        m_pidFile = dir + "/gateway.pid";
        m_out = dir + "/gateway.out";
        m_status = dir + "/gateway.status";
        m_started = "(" + kGateway + " " + shellQuoted(network) + " " + options + " >" + shellQuoted(m_out) +
                    " 2>" + shellQuoted(dir + "/gateway.err") + " & echo $! >" + shellQuoted(m_pidFile) + "; wait $!; echo $? >" +
                    shellQuoted(m_status) + ") >/dev/null 2>&1 &";
        ASSERT_EQ(runCommand(m_started).status, 0);
        const std::regex portLine("/metrics on http://127\\.0\\.0\\.1:([0-9]+)/metrics");
        for (int i = 0; i < 100 && !m_running; ++i) {
            std::smatch m;
            const std::string out = tellumic::test::readFile(m_out);
            m_running = out.find(" meter(s)") != std::string::npos;
            if (std::regex_search(out, m, portLine))
                m_port = m[1];
            if (!m_running)
                std::this_thread::sleep_for(100ms);
        }
        ASSERT_TRUE(m_running) << tellumic::test::readFile(dir + "/gateway.err");
    }
    std::string scrape()
    {
        const auto r = runCommand("curl -sf http://127.0.0.1:" + m_port + "/metrics");
        EXPECT_EQ(r.status, 0);
        return r.out;
    }
    // The sample line of a metric with these labels, or "".
    static std::string sample(const std::string &text, const std::string &head)
    {
        const auto at = text.find("\n" + head + " ");
        if (at == std::string::npos)
            return "";
        return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
    }
    int terminate()
    {
        runCommand("kill -TERM $(cat " + shellQuoted(m_pidFile) + ")");
        for (int i = 0; i < 100; ++i) {
            const std::string status = tellumic::test::readFile(m_status);
            if (!status.empty()) {
                m_started.clear();
                return std::stoi(status);
            }
            std::this_thread::sleep_for(100ms);
        }
        return -1;
    }

    std::string m_pidFile, m_out, m_status, m_started, m_port;
    bool m_running = false;
};

}  // namespace tellumic::gateway::test
