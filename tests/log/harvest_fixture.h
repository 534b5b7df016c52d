#pragma once

// The harvest tests' site: a network of three logging meters on the simulated LNS, harvested
// in this process with the manual clock, and what the harvest reported.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/paths.h"
#include "log/harvest.h"
#include "log/log_csv.h"
#include "log/log_file.h"
#include "sim/installation.h"
#include "sim/logging_site.h"
#include "sim/models/meter_state.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"
#include "tests/support/temp_home.h"

namespace tellumic {

inline constexpr int kSiteMeters = 3;

struct RecordingReport final : HarvestReport
{
    void planned(const std::string &, const std::vector<MeterPlan> &meters) override { plans = meters; }
    void started(const MeterProgress &p) override
    {
        starts.push_back(p);
        if (onStarted)
            onStarted(p);
    }
    void progress(const MeterProgress &) override { ++progressEvents; }
    void finished(const MeterResult &r) override { results.push_back(r); }
    void networkMessage(const std::string &, const std::string &text) override { messages.push_back(text); }

    const MeterResult &of(const std::string &name) const
    {
        for (const auto &r : results)
            if (r.name == name)
                return r;
        ADD_FAILURE() << "no result for " << name;
        static const MeterResult none;
        return none;
    }

    std::function<void(const MeterProgress &)> onStarted;
    std::vector<MeterPlan> plans;
    std::vector<MeterProgress> starts;
    std::vector<MeterResult> results;
    std::vector<std::string> messages;
    int progressEvents = 0;
};

// The record numbers of a long-record CSV log; every line has the 36 fields of its format
// and the header comes once, first.
inline std::vector<std::int32_t> recordNumbers(const std::string &text)
{
    const std::string header = std::string(logCsvHeader(false)) + "\r\n";
    EXPECT_EQ(text.compare(0, header.size(), header), 0) << "the file starts with the header";
    EXPECT_EQ(text.find(header, 1), std::string::npos) << "the header comes once";
    std::vector<std::int32_t> numbers;
    for (std::size_t at = header.size(), eol; at < text.size(); at = eol + 2) {
        eol = text.find("\r\n", at);
        if (eol == std::string::npos) {
            ADD_FAILURE() << "the file ends inside a line";
            break;
        }
        const std::string line = text.substr(at, eol - at);
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 35) << line;
        numbers.push_back(std::stoi(line));
    }
    return numbers;
}

inline std::vector<std::int32_t> range(std::int64_t first, std::int64_t last)
{
    std::vector<std::int32_t> v;
    for (auto n = first; n <= last; ++n)
        v.push_back(static_cast<std::int32_t>(n));
    return v;
}

inline std::string meterName(int n)
{
    return "Site-Meter-0" + std::to_string(n + 1);
}

class HarvestTest : public test::HomeTest
{
protected:
    void SetUp() override
    {
        lonWorks = sim::createDemoInstallation(home.root()).lonWorksFolder;
        sim::createLoggingNetwork(lonWorks, "Site", kSiteMeters);
    }

    int harvest(HarvestOptions options = {}, const std::string &network = "Site", std::function<bool()> stop = {})
    {
        sim::SimOptions o;
        o.clock = &home.clock;
        sim::SimObjectServer server(lonWorks, o);
        auto onStarted = std::move(report.onStarted);
        report = RecordingReport{};
        report.onStarted = std::move(onStarted);
        // A retry's back-off passes on the test's clock.
        if (!options.wait)
            options.wait = [this](std::chrono::milliseconds span) { home.clock.advance(span); };
        return harvestNetwork(server, network, options, report, stop);
    }

    std::filesystem::path csv(const std::string &meter) const { return programFolder() / GetLogFilename(meter, false); }
    std::string file(int n) const { return test::readFile(csv(meterName(n))); }

    void setLogFault(const std::string &meter, const std::string &bytes)
    {
        sim::SimControl control(lonWorks);
        control.setDeviceValue(control.device(meter).id, sim::kFaultFailAfterKey, bytes);
    }

    std::filesystem::path lonWorks;
    RecordingReport report;
};

}  // namespace tellumic
