#include <gtest/gtest.h>

#include "foundation/registry.h"
#include "model/product_tables.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

std::int32_t errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const RuntimeError &e) {
        return e.number();
    }
    return 0;
}

TEST(SimInstallation, WithoutLonWorksPathThereIsNoServer)
{
    tellumic::test::TempHome home;
    EXPECT_EQ(errorOf([] { installedLonWorksFolder(); }), ErrorNumber::kInvalidLonWorksPath);
    const auto folder = createDemoInstallation(home.root()).lonWorksFolder;
    EXPECT_EQ(installedLonWorksFolder(), folder);
}

TEST_F(SimTest, CollectionsCountFromOneAndFindByNameOrIndex)
{
    const auto devices = system->Subsystems().Item("Meters")->AppDevices();
    ASSERT_EQ(devices.Count(), static_cast<std::int32_t>(supportedMeters().size()) + 1);
    EXPECT_EQ(devices.Item(1)->Name(), supportedMeters()[0].Model);
    EXPECT_EQ(devices.Item(devices.Count())->Name(), "Thermostat");
    EXPECT_EQ(errorOf([&] { devices.Item(0); }), lns::LcaError::kObjectNotFound);
    EXPECT_EQ(errorOf([&] { devices.Item(devices.Count() + 1); }), lns::LcaError::kObjectNotFound);
    EXPECT_EQ(errorOf([&] { devices.Item("TMC-FT-Log-999"); }), lns::LcaError::kObjectNotFound);

    const auto blocks = meter->GetInterface()->FunctionalBlocks();
    EXPECT_EQ(blocks.Item(1)->Name(), "NodeObject");
    EXPECT_EQ(blocks.Item("TellumicCal")->Name(), blocks.Item(2)->Name());
    const auto location = blocks.Item(1)->Cps().Item(1);
    EXPECT_EQ(location->Name(), "SCPTlocation");
    EXPECT_EQ(location->ResourceScope(), 0);
    EXPECT_EQ(location->TypeIndex(), 17);
    EXPECT_EQ(nv("nvoEnergySum")->Cps().Item("SCPTmaxSndT")->TypeIndex(), 22);
}

TEST_F(SimTest, DemoDeviceCarriesItsIdentity)
{
    EXPECT_EQ(meter->ProgramId(), "80B7E515000A040A");
    EXPECT_EQ(meter->NeuronId().size(), 12u);
    EXPECT_EQ(meter->Location().size(), 12u);
    EXPECT_EQ(meter->TemplateName(), "TMC-FT-Log-364");
    EXPECT_TRUE(meter->Commissioned());
    EXPECT_EQ(meter->State(), 4);
    EXPECT_EQ(meter->QueryStatus().nodeState, 4);
    EXPECT_EQ(meter->SelfTest(), 0);
    EXPECT_EQ(system->DeviceTemplates().Item("TMC-FT-Log-364")->ProgramId(), "80B7E515000A040A");
}

TEST_F(SimTest, InitAgainChangesNothing)
{
    EXPECT_FALSE(createDemoInstallation(home.root()).created);
    EXPECT_EQ(CRegistry().MachineSetting("SOFTWARE\\LonWorks", "LonWorks Path"), lonWorks.string());
    EXPECT_EQ(server->Networks().Count(), 1);
    EXPECT_TRUE(std::filesystem::is_directory(lonWorks / "types" / "User" / "HVI"));
    EXPECT_TRUE(std::filesystem::equivalent(lonWorks / "types", lonWorks / "Types"));
}

TEST_F(SimTest, ClosedLevelsRefuseDeviceTraffic)
{
    auto power = nv("nvoPowerSum");
    system->Close();
    EXPECT_FALSE(system->IsOpen());
    EXPECT_EQ(errorOf([&] { power->Value(); }), lns::LcaError::kNotOpen);
    system->Open();
    EXPECT_NO_THROW(power->Value());
    server->Close();
    EXPECT_FALSE(system->IsOpen());
    EXPECT_EQ(errorOf([&] { server->Networks(); }), lns::LcaError::kNotOpen);
    EXPECT_EQ(errorOf([&] { power->Value(); }), lns::LcaError::kNotOpen);
}

TEST_F(SimTest, ServerSettingsAndInterfaces)
{
    EXPECT_EQ(errorOf([&] { server->SetRemote(true); }), lns::LcaError::kAccessDenied);
    server->Close();
    server->SetRemote(true);
    server->SetConnectionFlags(0x20);
    server->SetBooleanOption(true);
    EXPECT_TRUE(server->Remote());
    EXPECT_EQ(server->ConnectionFlags(), 0x20);
    EXPECT_TRUE(server->BooleanOption());
    auto lon1 = server->NetworkInterfaces().Item("LON1");
    server->SetActiveNetworkInterface(lon1);
    EXPECT_EQ(server->ActiveNetworkInterface()->Name(), "LON1");
    EXPECT_EQ(system->NetworkServiceDeviceInterface()->Name(), "LON1");
    EXPECT_EQ(system->ImportFolder(), (lonWorks / "Import").string());
}

TEST_F(SimTest, SystemSettingsPersist)
{
    system->SetMgmtMode(1);
    system->SetNumericSetting(200);
    auto other = openServer();
    auto otherSystem = other->Networks().Item("Demo")->Systems().Item(1);
    EXPECT_EQ(otherSystem->MgmtMode(), 1);
    EXPECT_EQ(otherSystem->NumericSetting(), 200);
    system->SetPaused(true);
    EXPECT_TRUE(system->Paused());
    system->SetPaused(false);
    EXPECT_FALSE(system->Paused());
}

TEST_F(SimTest, ComponentApplicationsAndTemplates)
{
    auto apps = system->DeviceTemplates().Item("TMC-FT-Log-364")->ComponentApplications();
    auto app = apps->Add("Browse Tellumic", "Tellumic_PlugIn.LNSPlugInAPI", 7);
    app->SetCommandId(20);
    app->SetDescription("Browse Tellumic variables");
    app->SetVersion("1.11");
    app->SetManufacturerId("47077");
    app->SetIsDefault(true);
    EXPECT_EQ(errorOf([&] { apps->Add("Browse Tellumic", "Other.Plugin", 7); }), lns::LcaError::kInvalidValue);

    auto again = system->DeviceTemplates().Item("TMC-FT-Log-364")->ComponentApplications()->Items().Item(1);
    EXPECT_EQ(again->ProgId(), "Tellumic_PlugIn.LNSPlugInAPI");
    EXPECT_EQ(again->ObjectType(), 7);
    EXPECT_EQ(again->CommandId(), 20);
    EXPECT_EQ(again->Description(), "Browse Tellumic variables");
    EXPECT_EQ(again->Version(), "1.11");
    EXPECT_EQ(again->ManufacturerId(), "47077");
    EXPECT_TRUE(again->IsDefault());
    apps->Remove(1);
    EXPECT_EQ(apps->Items().Count(), 0);

    auto added = system->AddDeviceTemplate("Spare");
    EXPECT_EQ(system->DeviceTemplates().Item("Spare")->ProgramId(), "");
    system->RemoveDeviceTemplate("Spare");
    EXPECT_FALSE(system->DeviceTemplates().Find("Spare"));
    EXPECT_EQ(errorOf([&] { system->RemoveDeviceTemplate("TMC-FT-Log-364"); }), lns::LcaError::kAccessDenied);
}

TEST_F(SimTest, TemplatesAnswerToTheirProgramId)
{
    const auto templates = system->DeviceTemplates();
    EXPECT_EQ(templates.Item("80B7E515000A040A")->Name(), "TMC-FT-Log-364");
    EXPECT_FALSE(templates.Find("80B7E515000A04FF"));
    EXPECT_FALSE(system->Subsystems().Item("Meters")->AppDevices().Find("80B7E515000A040A")) << "devices answer only to names";

    auto object = templates.Item("TMC-FT-Log-364")->LonMarkObjects().Item("TellumicCal");
    object->SetMode(3);
    EXPECT_EQ(system->DeviceTemplates().Item("TMC-FT-Log-364")->LonMarkObjects().Item("TellumicCal")->Mode(), 3);
    EXPECT_EQ(system->DeviceTemplates().Item("TMC-FT-Log-364")->LonMarkObjects().Item("NodeObject")->Mode(), 0);
}

TEST_F(SimTest, LatencyIsSpentOnTheClockPerTransaction)
{
    EXPECT_EQ(installationOptions(lonWorks).latency, std::chrono::milliseconds(15)) << "the demo's figure";
    SimOptions options;
    options.latency = std::chrono::milliseconds(20);
    auto slow = openServer(options);
    auto d = slow->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
    auto amps = nv("nciCtAmps", d);
    const auto start = home.clock.now();
    amps->Value();
    amps->SetValue("120");
    d->QueryStatus();
    EXPECT_EQ(home.clock.now() - start, std::chrono::milliseconds(60));
    const auto fast = home.clock.now();
    nv("nciCtAmps")->Value();
    EXPECT_EQ(home.clock.now(), fast) << "the tests' server has no latency";
}

// The program ID stands on line 4, or on line 5 after a blank line 4, whatever the line ends.
struct XifCase
{
    const char *what;
    const char *text;
};

class TemplateXifImport : public SimTest, public ::testing::WithParamInterface<XifCase>
{
};

TEST_P(TemplateXifImport, TakesTheProgramId)
{
    const auto xif = lonWorks / "Import" / "meter.xif";
    tellumic::test::writeFile(xif, GetParam().text);
    auto tpl = system->AddDeviceTemplate("Imported");
    tpl->ImportXif(xif.string());
    EXPECT_EQ(system->DeviceTemplates().Item("Imported")->ProgramId(), "80B7E515000A040A");
    EXPECT_EQ(errorOf([&] { tpl->ImportXif((lonWorks / "none.xif").string()); }), lns::LcaError::kInvalidValue);
}

INSTANTIATE_TEST_SUITE_P(
    LineEnds, TemplateXifImport,
    ::testing::Values(XifCase{"BlankFourthLine", "File: meter.xif\nGenerated\nHeader\n\n80:B7:E5:15:00:0A:04:0A\n"},
                      XifCase{"BlankFourthLineCrLf",
                              "File: meter.xif\r\nGenerated\r\nHeader\r\n\r\n80:B7:E5:15:00:0A:04:0A\r\n"},
                      XifCase{"FourthLineLowerCaseCrLf", "File: meter.xif\r\nGenerated\r\nHeader\r\n80:b7:e5:15:00:0a:04:0a\r\n"}),
    [](const auto &info) { return std::string(info.param.what); });

}  // namespace
}  // namespace tellumic::sim::test
