// Downloads against the simulated LNS. The simulated meters do not keep their log files
// yet; until they do, these cover the paths that end before records arrive.

#include <gtest/gtest.h>

#include "foundation/file_io.h"
#include "foundation/paths.h"
#include "log/log_csv.h"
#include "log/log_transfer.h"
#include "tests/log/recording_window.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic {
namespace {

class LogDownloadTest : public sim::test::SimTest
{
protected:
    std::filesystem::path csv() const { return programFolder() / GetLogFilename(meter->Name(), true); }
    void download()
    {
        ReadLogDataFtp(100, *system, meter, true, LogMode::kCountOfRecords, {}, 0, false, window);
    }

    test::RecordingLogWindow window;
};

// Without the request the meter would send records of whatever request it held before.
TEST_F(LogDownloadTest, RequestNotWrittenReadsNothingAndFails)
{
    sim::DeviceFaults faults;
    faults.refuseWrites = true;
    setFaults(faults);
    download();
    EXPECT_EQ(window.percentComplete, "Failed");
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_TRUE(home.dialogs.shown()[0].text.starts_with("SetupLogReadFtp() Error: ")) << home.dialogs.shown()[0].text;
    EXPECT_FALSE(FileExists(csv())) << "no file is created for a download that cannot start";
    EXPECT_FALSE(logFtpState().LogReading);
    EXPECT_EQ(sink.idles, 0) << "file 5 was never read";

    const std::string earlier = std::string(logCsvHeader(true)) + "\r\n1,2011-03-05 12:15:00,.0,0.00,900,,,,,,,,\r\n";
    test::writeFile(csv(), earlier);
    download();
    EXPECT_EQ(window.percentComplete, "Failed");
    EXPECT_EQ(test::readFile(csv()), earlier);
}

TEST_F(LogDownloadTest, LogInformationErrorsReachTheCaller)
{
    sim::DeviceFaults faults;
    faults.commFailAtCall = 1;
    setFaults(faults);
    try {
        ReadLogInfoFtp(*system, meter);
        FAIL() << "the read should fail";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kCommunicationFailure);
    }
    EXPECT_TRUE(home.dialogs.shown().empty());
}

}  // namespace
}  // namespace tellumic
