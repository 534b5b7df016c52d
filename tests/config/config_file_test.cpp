// Files a person may have edited: each fault is refused with its reason before anything
// could be written, and an edited text stands for its value.

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/config/config_fixture.h"
#include "tests/support/temp_home.h"

namespace tellumic::config::test {
namespace {

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

struct BadFile
{
    const char *what;
    std::function<std::string(const std::string &)> edit;
    const char *reason;
};

TEST_F(ConfigTest, BadFilesAreRefusedWithTheirReason)
{
    const std::string good = toJson(capture(*meter));
    const std::string ctAmps = R"("nciCtAmps": {
      "raw": "100",
      "text": "100",)";
    const BadFile rows[] = {
        {"not JSON", [](const std::string &t) { return t.substr(0, t.size() / 2); }, "not a JSON configuration file"},
        {"unknown top key", [](const std::string &t) { return replaced(t, "\"format\"", "\"colour\": 1, \"format\""); },
         "unknown key \"colour\""},
        {"unknown entry", [](const std::string &t) { return replaced(t, "\"nciCtAmps\"", "\"nciCtAmperes\""); },
         "unknown entry \"nciCtAmperes\""},
        {"unknown entry key",
         [](const std::string &t) { return replaced(t, "\"raw\": \"100\"", "\"raw\": \"100\", \"scale\": \"1\""); },
         "Entry \"nciCtAmps\": unknown key \"scale\""},
        {"raw is a number", [](const std::string &t) { return replaced(t, "\"raw\": \"100\"", "\"raw\": 100"); },
         "Entry \"nciCtAmps\": \"raw\" must be a string"},
        {"format is text", [](const std::string &t) { return replaced(t, "\"format\": 1", "\"format\": \"1\""); },
         "\"format\" must be a whole number"},
        {"newer format", [](const std::string &t) { return replaced(t, "\"format\": 1", "\"format\": 2"); },
         "format version 2 is not supported (1 to 1)"},
        {"count out of range",
         [&](const std::string &t) {
             return replaced(t, ctAmps, R"("nciCtAmps": { "raw": "70000", "text": "70000",)");
         },
         "Entry \"nciCtAmps\": \"70000\" is not a whole number from 0 to 65535"},
        {"edited text out of range",
         [&](const std::string &t) { return replaced(t, ctAmps, R"("nciCtAmps": { "raw": "100", "text": "-4",)"); },
         "Entry \"nciCtAmps\": \"-4\" is not a whole number from 0 to 65535"},
        {"unknown type choice",
         [](const std::string &t) {
             return replaced(t, "\"text\": \"SNVT_elec_kwh_l\"", "\"text\": \"SNVT_elec_btu\"");
         },
         "Entry \"SCPTnvType[nvoEnergySum]\": \"SNVT_elec_btu\" is not one of the types SNVT_elec_whr_f, "
         "SNVT_elec_kwh_l, SNVT_elec_kwh, UNVT_elec_kwh_l"},
        {"repeated entry, the last one different",
         [&](const std::string &t) {
             return replaced(t, ctAmps, R"("nciCtAmps": { "raw": "300", "text": "300", "unit": "A" },
    "nciCtAmps": { "raw": "250", "text": "250",)");
         },
         "the entry \"nciCtAmps\" is given twice"},
        {"repeated format", [](const std::string &t) { return replaced(t, "\"format\": 1", "\"format\": 1, \"format\": 1"); },
         "the key \"format\" is given twice"},
        {"repeated entries",
         [](const std::string &t) { return replaced(t, "\"entries\": {", "\"entries\": {}, \"entries\": {"); },
         "the key \"entries\" is given twice"},
        {"repeated raw", [](const std::string &t) { return replaced(t, "\"raw\": \"100\"", "\"raw\": \"7\", \"raw\": \"100\""); },
         "Entry \"nciCtAmps\": the key \"raw\" is given twice"},
        {"fraction in a whole number",
         [&](const std::string &t) { return replaced(t, ctAmps, R"("nciCtAmps": { "raw": "250.5", "text": "250.5",)"); },
         "Entry \"nciCtAmps\": \"250.5\" is not a whole number from 0 to 65535"},
        {"edited text with a fraction",
         [&](const std::string &t) { return replaced(t, ctAmps, R"("nciCtAmps": { "raw": "100", "text": "250.5",)"); },
         "Entry \"nciCtAmps\": \"250.5\" is not a whole number from 0 to 65535"},
        {"NUL in a whole number",
         [&](const std::string &t) { return replaced(t, ctAmps, R"("nciCtAmps": { "raw": "250\u0000", "text": "250\u0000",)"); },
         "Entry \"nciCtAmps\": \"250\\u0000\" is not a whole number from 0 to 65535"},
        {"NUL after an elapsed time",
         [](const std::string &t) {
             return replaced(t, "\"raw\": \"0 0:5:0:0\"", "\"raw\": \"0 0:5:0:0\\u0000\"");
         },
         "Entry \"SCPTmaxSndT\": \"0 0:5:0:0\\u0000\" is not an elapsed time from 0 0:0:0:0 to 65535 23:59:59:999"},
        {"signed elapsed time",
         [](const std::string &t) { return replaced(t, "\"raw\": \"0 0:5:0:0\"", "\"raw\": \"+0 0:5:0:0\""); },
         "Entry \"SCPTmaxSndT\": \"+0 0:5:0:0\" is not an elapsed time from 0 0:0:0:0 to 65535 23:59:59:999"},
        {"an entry holding an array",
         [](const std::string &t) { return replaced(t, "\"raw\": \"100\"", "\"raw\": [\"100\"]"); },
         "Entry \"nciCtAmps\": \"raw\" must be a string"},
        {"larger than a configuration can be",
         [](const std::string &t) { return t + std::string(kMaxConfigBytes, ' '); },
         "the file is larger than 1048576 bytes, the most a configuration holds"},
        {"unsupported program ID",
         [](const std::string &t) { return replaced(t, "80B7E515000A040A", "0000000000000000"); },
         "program ID \"0000000000000000\" is not a supported meter"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        try {
            parseConfig(row.edit(good));
            ADD_FAILURE() << "accepted";
        } catch (const RuntimeError &e) {
            EXPECT_EQ(e.number(), kInvalidConfiguration);
            EXPECT_EQ(e.description(), row.reason);
        }
    }
}

// Numbers written as a person may write them ("00250", "-0", "250.0") pass the check; the
// meter is given them in its own form, the only form it reads back, so the apply succeeds.
TEST_F(ConfigTest, ValuesAreWrittenInTheMetersOwnForm)
{
    const struct
    {
        const char *entry;
        const char *fileRaw;  // the file's "raw" and "text"
        const char *meterRaw;
        const char *before;   // the JSON text the row edits
    } rows[] = {
        {"nciCtAmps", "00250", "250", R"("raw": "100",
      "text": "100")"},
        {"nciCtAmps", "250.0", "250", R"("raw": "100",
      "text": "100")"},
        {"nciCtAmps", "2.5e2", "250", R"("raw": "100",
      "text": "100")"},
        {"nciCtAmps", "-0", "0", R"("raw": "100",
      "text": "100")"},
        {"SCPTmaxSndT", "00 0:02:00:000", "0 0:2:0:0", R"("raw": "0 0:5:0:0",
      "text": "300")"},
    };
    const MeterConfig original = capture(*meter);
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.entry) + " " + row.fileRaw);
        const std::string edited = std::string("\"raw\": \"") + row.fileRaw + "\",\n      \"text\": \"" + row.fileRaw + "\"";
        const MeterConfig c = parseConfig(replaced(toJson(original), row.before, edited));
        EXPECT_EQ(c.find(row.entry)->raw, row.meterRaw);
        const ApplyResult r = applyConfig(c, *meter);
        EXPECT_TRUE(r.applied) << r.failedEntry << ": " << r.reason;
        EXPECT_EQ(raws(*meter)[row.entry], row.meterRaw);
        EXPECT_EQ(compareConfig(c, *meter).differing, 0);
        ASSERT_TRUE(applyConfig(original, *meter).applied);
    }
}

// A person edits the text the window shows (seconds, a type name); the raw value follows.
TEST_F(ConfigTest, EditedTextStandsForItsValue)
{
    std::string text = toJson(capture(*meter));
    text = replaced(text, R"("raw": "0 0:5:0:0",
      "text": "300",)", R"("raw": "0 0:5:0:0",
      "text": "90",)");
    text = replaced(text, "\"text\": \"SNVT_elec_kwh_l\"", "\"text\": \"SNVT_elec_kwh\"");
    const MeterConfig c = parseConfig(text);
    EXPECT_EQ(c.find("SCPTmaxSndT")->raw, "0 0:1:30:0");
    EXPECT_EQ(c.find("SCPTnvType[nvoEnergySum]")->raw,
              "PID 0:0:0:0:0:0:0:0, Scope 0, Index 13, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=0, C=0");
    ASSERT_TRUE(applyConfig(c, *meter).applied);
    EXPECT_EQ(capture(*meter).find("SCPTmaxSndT")->text, "90");
}

// A path that names no regular file is refused before anything is read from it: a pipe
// nobody writes to, or a device that never ends, would hold the program for ever or fill
// its memory. Each is loaded in a child that a time limit and a memory limit end.
TEST_F(ConfigTest, FilesThatAreNoRegularFileAreRefusedAtOnce)
{
    const auto fifo = home.root() / "plant.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string &path : {fifo.string(), std::string("/dev/zero"), std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        const int status = tellumic::test::runInChild([&] {
            ::alarm(10);
            const rlimit memory{1u << 30, 1u << 30};
            ::setrlimit(RLIMIT_AS, &memory);
            try {
                loadConfig(path);
            } catch (const RuntimeError &e) {
                if (e.description().find(path + ": cannot be read: ") == 0 &&
                    e.description().find("is not a regular file") != std::string::npos)
                    return;
            }
            std::_Exit(4);
        });
        EXPECT_EQ(status, 0);
    }
}

// Saving over a configuration when the disk takes no more (here: the file size limit) leaves
// the old file whole and says why.
TEST_F(ConfigTest, FailedSaveLeavesTheOldFileAndSaysWhy)
{
    std::filesystem::create_directories(home.root() / "saved");
    const auto path = home.root() / "saved" / "plant.json";
    const std::string old = toJson(changedConfig());
    tellumic::test::writeFile(path, old);
    const int status = tellumic::test::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{512, 512};
        ::setrlimit(RLIMIT_FSIZE, &size);
        try {
            saveConfig(capture(*meter), path.string());
        } catch (const RuntimeError &e) {
            if (e.description() == "cannot write " + path.string() + ": File too large")
                return;
        }
        std::_Exit(4);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tellumic::test::readFile(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1) << "a temporary file was left";
}

// A configuration kept behind a link: the save replaces the file the link names, and the link
// stays a link.
TEST_F(ConfigTest, SaveThroughALinkReplacesTheFileItNames)
{
    std::filesystem::create_directories(home.root() / "saved");
    const auto file = home.root() / "saved" / "plant.json";
    const auto link = home.root() / "plant.json";
    tellumic::test::writeFile(file, "{}");
    std::filesystem::create_symlink(file, link);
    saveConfig(capture(*meter), link.string());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(tellumic::test::readFile(file), toJson(capture(*meter)));
}

}  // namespace
}  // namespace tellumic::config::test
