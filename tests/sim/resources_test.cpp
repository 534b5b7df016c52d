#include <gtest/gtest.h>

#include <SQLiteCpp/SQLiteCpp.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <functional>
#include <optional>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "foundation/plugin_state.h"

#include "foundation/resource_catalogue.h"
#include "host/device_templates.h"
#include "model/product_tables.h"
#include "sim/file_lock.h"
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

std::atomic<int> signalsHandled{0};

// A signal that ends the wait for the index's lock early does not let a folder be added
// while another program holds the index.
TEST_F(ResourceTest, AddingAFolderWaitsForTheIndexLockThroughSignals)
{
    const auto index = lonWorks / "Types" / "ldrf.cat";
    const auto folder = lonWorks / "Extra";
    fs::create_directories(folder);
    auto catalogue = makeResourceCatalogue();
    ASSERT_EQ(catalogue->open(lonWorks.string()), ResourceCatalogue::kSuccess);
    signalsHandled = 0;
    struct sigaction action = {}, previous = {};
    action.sa_handler = [](int) { ++signalsHandled; };  // no SA_RESTART: the wait ends with EINTR
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

    std::optional<FileLock> held(std::in_place, index);
    std::atomic<pid_t> tid{0};
    std::atomic<bool> through{false};
    std::int32_t added = -1;
    std::thread adder([&] {
        tid = static_cast<pid_t>(::syscall(SYS_gettid));
        added = catalogue->addDirectory(folder.string());
        through = true;
    });
    // Whether the adder is blocked in flock: the system call a thread waits in is in /proc.
    const auto waitsInFlock = [&] {
        std::ifstream in("/proc/self/task/" + std::to_string(tid.load()) + "/syscall");
        long call = -1;
        return tid != 0 && (in >> call) && call == SYS_flock;
    };
    while (!through && !waitsInFlock())
        std::this_thread::yield();
    ASSERT_FALSE(through) << "the adder did not wait for the lock";
    ::pthread_kill(adder.native_handle(), SIGUSR1);
    while (!through && !(signalsHandled == 1 && waitsInFlock()))
        std::this_thread::yield();
    EXPECT_FALSE(through) << "the folder was added while another program held the index";
    EXPECT_EQ(tellumic::test::readFile(index).find(folder.string()), std::string::npos);
    held.reset();
    adder.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(signalsHandled, 1);
    EXPECT_EQ(added, ResourceCatalogue::kSuccess);
    EXPECT_NE(tellumic::test::readFile(index).find(folder.string()), std::string::npos);
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

// XIF32BIN says why a conversion fails and leaves the XFB path as it found it.
struct ConverterCase
{
    const char *what;
    std::function<void(const fs::path &xif, const fs::path &xfb)> prepare;
    const char *says;  // "" for a conversion that succeeds
    const char *xfbName = "meter.XFB";
};

class XifConverter : public tellumic::test::HomeTest, public ::testing::WithParamInterface<ConverterCase>
{
};

std::string goodXif(const std::string &interfaceLine = "VAR nvoPowerSum output SNVT_power_f")
{
    return "File: x.xif\nCopyright\nRun\n80:B7:E5:15:00:0A:04:0A\n2 15 0 1\n" + interfaceLine + "\n";
}

TEST_P(XifConverter, ConvertsOrSaysWhyNot)
{
    const auto xif = home.root() / "meter.xif";
    const auto xfb = home.root() / GetParam().xfbName;
    GetParam().prepare(xif, xfb);
    const auto before = fs::exists(fs::symlink_status(xfb)) && fs::is_regular_file(xfb) ? tellumic::test::readFile(xfb) : "";
    const bool wasFolder = fs::is_directory(xfb);
    const std::string command = std::string(XIF32BIN_PATH) + " '" + xif.string() + "' '" + xfb.string() + "' 2>&1";
    const auto [status, out] = tellumic::test::runCommand(command);
    const std::string says = GetParam().says;
    if (says.empty()) {
        EXPECT_EQ(status, 0) << out;
        EXPECT_TRUE(tellumic::test::readFile(xfb).starts_with("XFB1"));
        return;
    }
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("XIF32BIN: cannot convert " + xif.string() + ": "), std::string::npos) << out;
    EXPECT_NE(out.find(says), std::string::npos) << out;
    EXPECT_EQ(wasFolder, fs::is_directory(xfb)) << "the XFB path was a folder and must stay one";
    if (!wasFolder) {
        EXPECT_EQ(fs::exists(xfb) ? tellumic::test::readFile(xfb) : "", before);
    }
    std::size_t leftovers = 0;
    for (const auto &e : fs::directory_iterator(home.root()))
        leftovers += e.path().filename().string().starts_with("meter.XFB.") ? 1 : 0;
    EXPECT_EQ(leftovers, 0u) << "temporary files left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XifConverter,
    ::testing::Values(
        ConverterCase{"Good", [](const fs::path &xif, const fs::path &) { tellumic::test::writeFile(xif, goodXif()); }, ""},
        ConverterCase{"CrLfBlankFourthLine",
                      [](const fs::path &xif, const fs::path &) {
                          tellumic::test::writeFile(xif, "a\r\nb\r\nc\r\n\r\n80:B7:E5:15:00:0A:04:0A\r\n2 15 0 1\r\n");
                      },
                      ""},
        ConverterCase{"Missing", [](const fs::path &, const fs::path &) {}, "does not exist"},
        ConverterCase{"AFolder", [](const fs::path &xif, const fs::path &) { fs::create_directory(xif); },
                      "is not a regular file"},
        ConverterCase{"NoProgramId",
                      [](const fs::path &xif, const fs::path &xfb) {
                          tellumic::test::writeFile(xif, "a\nb\nc\nnot a program id\n");
                          tellumic::test::writeFile(xfb, "the old XFB");
                      },
                      "holds no program ID"},
        ConverterCase{"OverlongLine",
                      [](const fs::path &xif, const fs::path &xfb) {
                          tellumic::test::writeFile(xif, goodXif("VAR " + std::string(70000, 'x')));
                          tellumic::test::writeFile(xfb, "the old XFB");
                      },
                      "line 6 of"},
        ConverterCase{"OutputIsAFolder",
                      [](const fs::path &xif, const fs::path &xfb) {
                          tellumic::test::writeFile(xif, goodXif());
                          fs::create_directory(xfb);
                      },
                      "is not a regular file"},
        ConverterCase{"OutputIsTheInput",
                      [](const fs::path &xif, const fs::path &) { tellumic::test::writeFile(xif, goodXif()); },
                      "names the XIF file itself", "meter.xif"},
        ConverterCase{"OutputIsTheInputByAnotherName",
                      [](const fs::path &xif, const fs::path &) { tellumic::test::writeFile(xif, goodXif()); },
                      "names the XIF file itself", "./meter.xif"},
        ConverterCase{"OutputIsAHardLinkToTheInput",
                      [](const fs::path &xif, const fs::path &xfb) {
                          tellumic::test::writeFile(xif, goodXif());
                          fs::create_hard_link(xif, xfb);
                      },
                      "names the XIF file itself"},
        ConverterCase{"TenBytePairs",
                      [](const fs::path &xif, const fs::path &xfb) {
                          tellumic::test::writeFile(xif, "a\nb\nc\n80:B7:E5:15:00:0A:04:0A:11:22\n2 15 0 1\n");
                          tellumic::test::writeFile(xfb, "the old XFB");
                      },
                      "holds no program ID"},
        // Found by fuzzing: a NUL in place of a colon made the converter take an ID that
        // the import's reader of the same file did not see.
        ConverterCase{"ANulBetweenBytePairs",
                      [](const fs::path &xif, const fs::path &xfb) {
                          tellumic::test::writeFile(xif, std::string("a\nb\nc\n80:B7:E5") + '\0' + "15:00:0A:04:0A\n2 15 0 1\n");
                          tellumic::test::writeFile(xfb, "the old XFB");
                      },
                      "holds no program ID"},
        // Also found by fuzzing: a program-ID line ending in two CRs lost both in the
        // converter but only one in the import's reader.
        ConverterCase{"TwoCarriageReturnsAfterTheProgramId",
                      [](const fs::path &xif, const fs::path &xfb) {
                          tellumic::test::writeFile(xif, "a\r\nb\r\nc\r\n\r\n80:B7:E5:15:00:0A:04:0A\r\r\n2 15 0 1\r\n");
                          tellumic::test::writeFile(xfb, "the old XFB");
                      },
                      "holds no program ID"},
        ConverterCase{"ASymbolicLinkLoop",
                      [](const fs::path &xif, const fs::path &) { fs::create_symlink(xif.filename(), xif); },
                      "cannot be read: Too many levels of symbolic links"},
        ConverterCase{"OutputFolderMissing",
                      [](const fs::path &xif, const fs::path &) { tellumic::test::writeFile(xif, goodXif()); },
                      "cannot write", "missing/meter.XFB"}),
    [](const auto &info) { return std::string(info.param.what); });

// The catalogue opens only resource files, and only regular ones: a listed folder such as
// /proc, or a pipe with a resource file's name, never blocks it.
TEST_F(ResourceTest, TheCatalogueReadsOnlyResourceFiles)
{
    const auto odd = home.root() / "Odd";
    fs::create_directories(odd);
    ASSERT_EQ(::mkfifo((odd / "PIPE.typ").c_str(), 0644), 0);
    std::ofstream(lonWorks / "Types" / "ldrf.cat", std::ios::app) << "/proc\n" << odd.string() << "\n";
    const int status = tellumic::test::runInChild([&] {
        ::alarm(30);  // a blocked read ends the child, and the test fails
        auto c = makeResourceCatalogue();
        if (c->open(lonWorks.string()) != ResourceCatalogue::kSuccess || c->query("80B7E50000000000", 3).code != 0)
            ::_exit(5);
    });
    EXPECT_EQ(status, 0);
}

// The XIF search stays below the LonWorks folder, does not follow links to folders and
// goes only a few levels deep, whatever the folder it is given.
TEST_F(ResourceTest, TheXifSearchStaysInsideTheInstallation)
{
    const auto import = lonWorks / "Import";
    fs::create_directory_symlink(import, import / "loop1");
    fs::create_directory_symlink(import, import / "loop2");
    fs::create_directory_symlink("/", import / "root");
    fs::path deep = import;
    for (int i = 0; i < 12; ++i)
        deep /= "level";
    fs::create_directories(deep);
    tellumic::test::writeFile(deep / "deep.xif", "a\nb\nc\n80:B7:E5:15:00:0A:04:FF\n");
    const int status = tellumic::test::runInChild([&] {
        ::alarm(60);
        if (!LocateXif(import.string() + "/", "80B7E515000A04FF").empty())
            ::_exit(5);  // found through a link or too deep
        if (!LocateXif(import.string() + "/", "80B7E515000A04FE").empty())
            ::_exit(6);
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(IsDirectory((import / "loop1").string()));
}

// With a remote object server (no import folder) or an import folder outside the
// installation, the search takes the installation's own import folder.
TEST_F(ResourceTest, TheXifSearchRootIsInsideTheInstallation)
{
    struct Row
    {
        bool remote;
        std::string importFolder;
    };
    for (const auto &row : {Row{true, ""}, Row{false, "/"}}) {
        {
            SQLite::Database db(networkDbPath(lonWorks).string(), SQLite::OPEN_READWRITE);
            SQLite::Statement up(db, "UPDATE systems SET import_folder = ?");
            up.bind(1, row.importFolder);
            up.exec();
        }
        plugIn().ServerIsRemote = row.remote;
        deviceTemplateState().XifSearchRoot = row.importFolder;
        std::string found;
        const int status = tellumic::test::runInChild([&] {
            ::alarm(60);
            found = Get_XIF_from_Import(*system, "80B7E515000A040A");
            ::_exit(found.starts_with((lonWorks / "Import").string()) ? 0 : 5);
        });
        EXPECT_EQ(status, 0) << "remote " << row.remote << ", import folder '" << row.importFolder << "'";
    }
    plugIn().ServerIsRemote = false;
}

}  // namespace
}  // namespace tellumic::sim::test
