#pragma once

#include <gtest/gtest.h>

#include "config/config_apply.h"
#include "config/config_file.h"
#include "config/meter_config.h"
#include "sim/logging_site.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic::config::test {

// The demo installation with its logging meter at hand, and a configuration that differs
// from a fresh meter's in a type choice and several values.
class ConfigTest : public sim::test::SimTest
{
protected:
    MeterConfig capture(lns::AppDevice &d) { return captureConfig(d, "Demo", "2026-12-10 12:00:00"); }

    // The raw value of every entry, for comparing a meter before and after.
    std::map<std::string, std::string> raws(lns::AppDevice &d)
    {
        std::map<std::string, std::string> all;
        for (const auto &v : capture(d).values)
            all[v.name] = v.raw;
        return all;
    }

    static void set(MeterConfig &c, const std::string &name, const std::string &raw)
    {
        for (auto &v : c.values)
            if (v.name == name) {
                v.raw = raw;
                v.text = raw;
                for (const auto &entryDef : configEntries(c.programId))
                    if (entryDef.name == name)
                        describe(entryDef, v);
                return;
            }
        FAIL() << "no entry " << name;
    }

    // The logging meter's configuration with four changes.
    MeterConfig changedConfig()
    {
        MeterConfig c = capture(*meter);
        set(c, "SCPTnvType[nvoEnergySum]",
            "PID 0:0:0:0:0:0:0:0, Scope 0, Index 13, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0");
        set(c, "nciCtAmps", "400");
        set(c, "nciDemPerMins", "30");
        set(c, "SCPTmaxSndT", "0 0:2:0:0");
        return c;
    }
};

}  // namespace tellumic::config::test
