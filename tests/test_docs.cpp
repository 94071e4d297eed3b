// The manual pages and the README: the pages format without a warning, and
// every option that the programs' usage texts offer is described in them.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "tmux_session.h" // find_program
#include "testutil.h"

using testutil::read_file;
using testutil::ScratchDir;

namespace {

const std::string source_dir = std::string(TESTS_DIR) + "/..";

testutil::RunResult run(const std::string &program, const std::vector<std::string> &args, const ScratchDir &dir)
{
    testutil::RunOptions opt;
    opt.cwd = dir.path();
    opt.env = {{"MANWIDTH", "80"}, {"LANG", "C.UTF-8"}};
    return testutil::run_program(program, args, opt);
}

// The options a usage text names: "-x" letters or "--name" words.
std::set<std::string> options_in(const std::string &usage, const std::regex &re)
{
    std::set<std::string> found;
    for (std::sregex_iterator it(usage.begin(), usage.end(), re), end; it != end; ++it)
        found.insert((*it)[1]);
    return found;
}

// A man page's text with its escaped hyphens plain.
std::string page_text(const std::string &name)
{
    std::string src = read_file(source_dir + "/man/" + name);
    std::string out;
    for (size_t i = 0; i < src.size(); i++) {
        if (src.compare(i, 2, "\\-") == 0) {
            out += '-';
            i++;
        } else {
            out += src[i];
        }
    }
    return out;
}

} // namespace

TEST(Docs, ManPagesFormatWithoutWarnings)
{
    std::string man = testutil::find_program("man");
    ASSERT_FALSE(man.empty()) << "man is not installed";
    ScratchDir dir;
    for (const char *page : {"ledtick.1", "ledsim.1", "pcfdump.1"}) {
        SCOPED_TRACE(page);
        testutil::RunResult r = run(man, {"--warnings", "-E", "UTF-8", "-l", source_dir + "/man/" + page}, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("NAME"), std::string::npos);
    }
    // The check itself finds a fault.
    std::string bad = dir.write("bad.1", ".TH BAD 1\n.SH NAME\nbad \\- bad\n.XY\n");
    EXPECT_NE(run(man, {"--warnings", "-E", "UTF-8", "-l", bad}, dir).err, "");
}

TEST(Docs, EveryOptionOfTheUsageTextsIsDescribed)
{
    ScratchDir dir;
    std::string readme = read_file(source_dir + "/README.md");

    testutil::RunResult sim = run(LEDSIM_BIN, {"--help"}, dir);
    ASSERT_EQ(sim.status, 0);
    std::set<std::string> sim_options = options_in(sim.out, std::regex("  (--[a-z-]+)"));
    EXPECT_GE(sim_options.size(), 16u);
    std::string sim_page = page_text("ledsim.1");
    for (const std::string &o : sim_options) {
        EXPECT_NE(sim_page.find(o), std::string::npos) << o << " is missing in ledsim.1";
        EXPECT_NE(readme.find("`" + o), std::string::npos) << o << " is missing in README.md";
    }

    testutil::RunResult tick = run(LEDTICK_BIN, {"-h"}, dir);
    std::set<std::string> tick_options = options_in(tick.err, std::regex("    (-[a-zA-Z]) "));
    EXPECT_GE(tick_options.size(), 18u);
    std::string tick_page = page_text("ledtick.1");
    for (const std::string &o : tick_options) {
        EXPECT_TRUE(tick_page.find(".BI " + o) != std::string::npos || tick_page.find(".B " + o) != std::string::npos)
            << o << " is missing in ledtick.1";
        EXPECT_NE(readme.find("`" + o), std::string::npos) << o << " is missing in README.md";
    }
}
