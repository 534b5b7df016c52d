// Files a person may have edited: each fault is refused with its reason before anything
// could be written, and an edited text stands for its value.

#include "tests/config/config_fixture.h"

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

}  // namespace
}  // namespace tellumic::config::test
