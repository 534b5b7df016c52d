#include <gtest/gtest.h>

#include "foundation/object_server.h"
#include "model/nv_cp.h"
#include "model/value_boxes.h"
#include "sim/installation.h"
#include "sim/sim_object_server.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

// Every CP address of every family's catalogue resolves on the simulated meter of that
// program ID to a CP of the address's scope and index.
class CpAddressTest : public test::HomeTest, public ::testing::WithParamInterface<const char *>
{
protected:
    void SetUp() override
    {
        const auto lonWorks = sim::createDemoInstallation(home.root()).lonWorksFolder;
        sim::SimOptions options;
        options.clock = &home.clock;
        server = std::make_unique<sim::SimObjectServer>(lonWorks, options);
        server->Open();
        auto network = server->Networks().Item("Demo");
        network->Open();
        system = network->Systems().Item(1);
        system->Open();
    }
    std::shared_ptr<lns::AppDevice> meter(const std::string &model)
    {
        return system->Subsystems().Item("Meters")->AppDevices().Item(model);
    }

    std::unique_ptr<sim::SimObjectServer> server;
    std::shared_ptr<lns::System> system;
};

TEST_P(CpAddressTest, EveryCatalogueAddressResolves)
{
    auto device = meter(GetParam());
    FillNvsCpsTable(device->ProgramId());
    const auto &cat = nvCpCatalogue();
    int cps = 0;
    for (int i = 0; i < cat.NvCpCount; ++i) {
        const NvCp &e = cat.NvCpTable[static_cast<std::size_t>(i)];
        if (e.Kind != "CP")
            continue;
        ++cps;
        auto cp = GetCpByTypeIndex(*device, e.CpAddress);
        ASSERT_TRUE(cp) << e.Name << " at " << e.CpAddress;
        const std::string scopeIndex = e.CpAddress.substr(e.CpAddress.rfind("C:") + 2);
        EXPECT_EQ(std::to_string(cp->ResourceScope()) + ":" + std::to_string(cp->TypeIndex()), scopeIndex) << e.Name;
    }
    // Every NV of the catalogue is on the meter too.
    auto nvs = device->GetInterface()->Nvs();
    for (int i = 0; i < cat.NvCpCount; ++i) {
        const NvCp &e = cat.NvCpTable[static_cast<std::size_t>(i)];
        if (e.Kind != "CP") {
            EXPECT_TRUE(nvs.Find(e.Name)) << e.Name;
        }
    }
    // Families 302 and 312 have no CP entries; the others start with the node object's.
    if (cat.NvCpTable[0].Kind == "CP") {
        EXPECT_GT(cps, 5);
    }
}

INSTANTIATE_TEST_SUITE_P(Meters, CpAddressTest,
                         ::testing::Values("TMC-FT-362", "TMC-FT-Log-364", "TMC-FT-B-303", "TMC-FT-BI-313",
                                           "TMC-FT-Plus-333", "TMB-FT-Plus-208", "TMB-FT-Int-211", "TMC-FT-Plus-PT-340",
                                           "TMC-FT-Log-PT-370"));

TEST_F(CpAddressTest, AddressesThatNameNothingGiveNone)
{
    auto device = meter("TMC-FT-Log-364");
    ASSERT_TRUE(GetCpByTypeIndex(*device, "F:0/C:0:17"));
    EXPECT_EQ(GetCpByTypeIndex(*device, "F:0/C:0:17")->Name(), "SCPTlocation");
    ASSERT_TRUE(GetCpByTypeIndex(*device, "N:nvoPowerSum/C:0:254"));
    for (const char *address : {"F:99/C:0:17", "F:0/C:0:18", "F:0/C:0:017", "N:nvoNothing/C:0:22", "X:0/C:0:17", "",
                                "F:x/C:0:17", "C:9:9"})
        EXPECT_FALSE(GetCpByTypeIndex(*device, address)) << address;
}

}  // namespace
}  // namespace tellumic
