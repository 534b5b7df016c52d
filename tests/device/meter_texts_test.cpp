#include <gtest/gtest.h>

#include "device/meter_commands.h"

namespace tellumic {
namespace {

TEST(MeterTextsTest, NodeStates)
{
    const std::vector<std::pair<int, const char *>> cases = {{2, "Unconfigured"}, {3, "App'less"}, {4, "Cnfg Online"},
                                                              {6, "Offline"},     {12, "Soft Offline"}, {140, "Bypass"},
                                                              {5, "Unknown"},     {0, "Unknown"}};
    for (const auto &[state, text] : cases)
        EXPECT_EQ(nodeStateText(state), text) << state;
}

TEST(MeterTextsTest, LastErrorCodesAndTheHashRule)
{
    const std::vector<std::pair<int, const char *>> cases = {
        {0, "No errors"},
        {11, "Error #11 :Real-time clock not responding"},
        {12, "Error #12 :Real-time clock not responding"},
        {16, "Warning #16 :Missed one or more ticks from real-time clock"},
        {20, "nciMaxSendT was set to greater than 12 hours"},
        {40, "Error #40 :"},
        {2, "Error #2 :"},
        {164, "Error #164 :Router firmware version mismatch"},
        {200, "Error #200 :"},
    };
    for (const auto &[code, text] : cases)
        EXPECT_EQ(lastErrorText(code), text) << code;
}

TEST(MeterTextsTest, ServicePinMessagesRecogniseEveryTellumic)
{
    const std::string self = "010203040506";
    EXPECT_EQ(servicePinMessage(self, self, "80B7E515000A040A"), "Service pin pressed on this Tellumic. NID=01-02-03-04-05-06");
    EXPECT_EQ(servicePinMessage(self, "0A0B0C0D0E0F", "80B7E515000A0402"),
              "Service pin pressed on different Tellumic. NID=0A-0B-0C-0D-0E-0F");
    // The family-362 meter is a Tellumic too.
    EXPECT_EQ(servicePinMessage(self, "0A0B0C0D0E0F", "80B7E515008A0409"),
              "Service pin pressed on different Tellumic. NID=0A-0B-0C-0D-0E-0F");
    EXPECT_EQ(servicePinMessage(self, "0A0B0C0D0E0F", "9000010203040506"),
              "Service pin pressed on unrecognized device. NID=0A-0B-0C-0D-0E-0F");
}

}  // namespace
}  // namespace tellumic
