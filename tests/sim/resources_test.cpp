#include <gtest/gtest.h>

#include <fstream>

#include "foundation/resource_catalogue.h"
#include "host/device_templates.h"
#include "model/product_tables.h"
#include "sim/resource_files.h"
#include "sim/xif_files.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

namespace fs = std::filesystem;

class ResourceTest : public SimTest
{
public:
    void SetUp() override
    {
        SimTest::SetUp();
        deviceTemplateState() = {};
        setResourceCatalogueFactory([] { return makeResourceCatalogue(); });
    }
    void TearDown() override
    {
        setResourceCatalogueFactory(nullptr);
        deviceTemplateState() = {};
    }
    std::vector<std::string> shownTexts()
    {
        std::vector<std::string> texts;
        for (const auto &s : home.dialogs.shown())
            texts.push_back(s.text);
        return texts;
    }
};

TEST_F(ResourceTest, CatalogueOpensAtEitherFolderAndAnswersWithItsCodes)
{
    for (const auto &root : {lonWorks, lonWorks / "Types"}) {
        auto c = makeResourceCatalogue();
        ASSERT_EQ(c->open(root.string()), ResourceCatalogue::kSuccess) << root;
        const auto found = c->query("80B7E50000000000", 3);
        EXPECT_EQ(found.code, ResourceCatalogue::kSuccess);
        EXPECT_EQ(found.versionMajor, 1);
        EXPECT_EQ(found.versionMinor, 5);
        EXPECT_EQ(c->query("80B7E50000000000", 4).code, ResourceCatalogue::kNotFound);
        EXPECT_TRUE(c->findFunctionalProfile(20011, 3));
        EXPECT_FALSE(c->findFunctionalProfile(20011, 4));
        EXPECT_TRUE(c->findFunctionalProfile(0, 0));
        EXPECT_EQ(c->addDirectory((lonWorks / "types" / "User" / "HVI").string()), ResourceCatalogue::kAlreadyPresent);
        EXPECT_EQ(c->close(), ResourceCatalogue::kSuccess);
    }
    EXPECT_NE(makeResourceCatalogue()->open((lonWorks / "Missing").string()), ResourceCatalogue::kSuccess);
}

struct VersionCase
{
    const char *install;  // "" removes the maker's files
    const char *message;  // start of the message shown, "" for none
};

class ResourceVersion : public ResourceTest, public ::testing::WithParamInterface<VersionCase>
{
};

TEST_P(ResourceVersion, ValidationWarnsAboutMissingOrOtherVersions)
{
    const auto &c = GetParam();
    const std::string v = c.install;
    if (v.empty())
        removeMakerResourceFiles(lonWorks);
    else
        installResourceFiles(lonWorks, std::stoi(v.substr(0, 1)), std::stoi(v.substr(2)));
    EXPECT_EQ(ValidateDrfFiles(), "");
    const auto texts = shownTexts();
    if (*c.message == 0) {
        EXPECT_TRUE(texts.empty());
    } else {
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_TRUE(texts[0].starts_with(c.message)) << texts[0];
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, ResourceVersion,
                         ::testing::Values(VersionCase{"1.5", ""},
                                           VersionCase{"1.6", "The resource files for the Tellumic are out-of-date."},
                                           VersionCase{"1.4", "The resource files for the Tellumic are out-of-date."},
                                           VersionCase{"", "The resource files required for the Tellumic are not present"}));

TEST_F(ResourceTest, RefreshRegistersTheMakersFolderAgain)
{
    removeMakerResourceFiles(lonWorks);
    installResourceFiles(lonWorks, 1, 5);
    removeMakerResourceFiles(lonWorks);
    // The files come back, unregistered, as after copying them by hand.
    installResourceFiles(lonWorks, 1, 5);
    std::ofstream(lonWorks / "Types" / "ldrf.cat", std::ios::trunc) << (lonWorks / "Types").string() << "\n";
    auto c = makeResourceCatalogue();
    c->open(lonWorks.string());
    EXPECT_EQ(c->query("80B7E50000000000", 3).code, ResourceCatalogue::kNotFound);
    c->close();
    EXPECT_TRUE(RefreshLdrfCatalog());
    c->open(lonWorks.string());
    EXPECT_EQ(c->query("80B7E50000000000", 3).code, ResourceCatalogue::kSuccess);
}

TEST_F(ResourceTest, LonMarkObjectsTakeTheScopeWhereTheirProfileIsFound)
{
    std::vector<std::string> titles;
    ASSERT_EQ(meter->GetInterface()->FunctionalBlocks().Item("TellumicCal")->Mode(), 0);
    EXPECT_TRUE(DrfLookUp(*meter, [&](const std::string &t) { titles.push_back(t); }));
    auto objects = meter->GetInterface()->FunctionalBlocks();
    EXPECT_EQ(objects.Item("TellumicCal")->Mode(), 3);
    EXPECT_EQ(objects.Item("NodeObject")->Mode(), 0) << "standard profiles are not looked up";
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Set TellumicCal mode = 3"), titles.end());
}

// Every supported meter's XIF file is found in the import folder, converted by XIF32BIN
// and imported into a template with the program ID's interface.
TEST_F(ResourceTest, XifFilesAreFoundConvertedAndImported)
{
    ASSERT_TRUE(installConverter(lonWorks, XIF32BIN_PATH));
    bool blankFourth = false, inSubfolder = false;
    for (const auto &m : supportedMeters()) {
        const auto path = LocateXif(system->ImportFolder() + "/", m.ProgramId);
        ASSERT_FALSE(path.empty()) << m.Model;
        EXPECT_EQ(GetProgamIdFromXIF(path), m.ProgramId);
        inSubfolder |= fs::path(path).parent_path() != fs::path(system->ImportFolder());
        std::ifstream in(path);
        std::string line;
        for (int i = 0; i < 4; ++i)
            std::getline(in, line);
        blankFourth |= line.empty();
        EXPECT_EQ(XIF_and_XFB(path), path);
        EXPECT_TRUE(fs::exists(path.substr(0, path.size() - 3) + "XFB")) << path;
    }
    EXPECT_TRUE(blankFourth);
    EXPECT_TRUE(inSubfolder);
    EXPECT_EQ(ImportTemplateFromXIF(*system, "80B7E515008A0409", "TMC-FT-362"), "");
    auto imported = system->DeviceTemplates().Item("TMC-FT-362 (1)");
    EXPECT_EQ(imported->ProgramId(), "80B7E515008A0409");
    EXPECT_EQ(imported->LonMarkObjects().Item(2)->Name(), "TellumicConfig");
}

TEST(XifConverter, RefusesAFileWithoutProgramId)
{
    tellumic::test::TempHome home;
    const auto xif = home.root() / "bad.xif", xfb = home.root() / "bad.XFB";
    std::ofstream(xif) << "a\nb\nc\nnot a program id\n";
    EXPECT_FALSE(convertXifToXfb(xif, xfb));
    EXPECT_FALSE(fs::exists(xfb));
}

}  // namespace
}  // namespace tellumic::sim::test
