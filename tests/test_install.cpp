// cmake --install into a scratch prefix: the programs, the manual pages and
// the sample run-control file land in the usual places, and the installed
// ledtick runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testutil.h"

TEST(Install, PutsProgramsPagesAndSampleUnderThePrefix)
{
    testutil::ScratchDir dir;
    std::string prefix = dir.file("prefix");
    testutil::RunOptions opt;
    opt.cwd = dir.path();
    opt.timeout_s = 120;
    testutil::RunResult r =
        testutil::run_program(CMAKE_COMMAND, {"--install", BUILD_DIR, "--prefix", prefix}, opt);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    std::vector<std::string> files = {"bin/ledtick", "bin/ledsim", "share/man/man1/ledtick.1",
                                      "share/man/man1/ledsim.1", "share/man/man1/pcfdump.1",
                                      "share/doc/ledtick/examples/ledtickrc.sample"};
    if (HAVE_PCFDUMP)
        files.push_back("bin/pcfdump");
    for (const std::string &f : files)
        EXPECT_TRUE(std::filesystem::exists(prefix + "/" + f)) << f;

    testutil::RunResult v = testutil::run_program(prefix + "/bin/ledtick", {"-V"}, opt);
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "ledtick Ver. 0.01-00 2005/08/02(Tue)\n");

    // The sample is a run-control file that ledtick reads without a fault.
    testutil::RunResult rc = testutil::run_program(
        prefix + "/bin/ledtick", {"-Q", "-f", prefix + "/share/doc/ledtick/examples/ledtickrc.sample", "-V"}, opt);
    EXPECT_EQ(rc.status, 0) << rc.err;
    EXPECT_EQ(rc.err, "");
}
