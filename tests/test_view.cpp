// ledsim --view in a real terminal: tmux runs it headless, and the screen
// that tmux holds is read back and compared dot for dot with the picture
// that was sent.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

#include <string>
#include <thread>
#include <vector>

#include "ledsim_harness.h"
#include "tmux_session.h"
#include "view.h"

using testutil::SimClient;
using testutil::TmuxSession;

namespace {

// A glyph that looks different mirrored or upside down; '#' is lit.
const char *const glyph[16] = {
    "........", "######..", "#.....#.", "#.....#.", "#.....#.", "######..", "#...#...", "#....#..",
    "#.....#.", "#.....#.", "........", "...##...", "..#..#..", "..#..#..", "...##...", "#......#",
};
const int display_width = 32;

std::string glyph_words()
{
    std::string s;
    for (int x = 0; x < 8; x++) {
        unsigned w = 0;
        for (int y = 0; y < 16; y++)
            if (glyph[y][x] == '#')
                w |= 1u << (15 - y);
        char buf[8];
        snprintf(buf, sizeof buf, " %x", w);
        s += buf;
    }
    return s;
}

// The sign as 16 lines of '#' (glowing) and '.', display_width wide.
std::vector<std::string> expected_sign(bool reverse, bool dark)
{
    std::vector<std::string> rows;
    for (int y = 0; y < 16; y++) {
        std::string row;
        for (int x = 0; x < display_width; x++) {
            bool lit = x < 8 && glyph[y][x] == '#';
            row += (lit != reverse) && !dark ? '#' : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

// The UTF-8 characters of a line, one string each.
std::vector<std::string> cells(const std::string &line)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < line.size();) {
        size_t n = 1;
        unsigned char c = (unsigned char)line[i];
        if (c >= 0xf0)
            n = 4;
        else if (c >= 0xe0)
            n = 3;
        else if (c >= 0xc0)
            n = 2;
        out.push_back(line.substr(i, n));
        i += n;
    }
    return out;
}

std::vector<std::string> screen_lines(const std::string &screen)
{
    std::vector<std::string> lines;
    size_t start = 0, nl;
    while ((nl = screen.find('\n', start)) != std::string::npos) {
        lines.push_back(screen.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

// Reads the sign off the screen: with dots, one line per LED row and two
// cells per LED; with half blocks, two LED rows a line.
std::vector<std::string> read_sign(const std::string &screen, bool dots)
{
    std::vector<std::string> lines = screen_lines(screen);
    std::vector<std::string> rows(16, std::string(display_width, '?'));
    for (int y = 0; y < 16; y++) {
        size_t line = (size_t)(dots ? y : y / 2);
        std::vector<std::string> c = line < lines.size() ? cells(lines[line]) : std::vector<std::string>();
        for (int x = 0; x < display_width; x++) {
            size_t at = (size_t)(dots ? 2 * x : x);
            std::string ch = at < c.size() ? c[at] : " "; // tmux drops trailing blanks
            bool lit;
            if (dots) {
                lit = ch == "\u25cf";
                if (!lit && ch != "\u00b7")
                    continue;
            } else {
                bool top = ch == "\u2588" || ch == "\u2580", bottom = ch == "\u2588" || ch == "\u2584";
                if (!top && !bottom && ch != " ")
                    continue;
                lit = y % 2 == 0 ? top : bottom;
            }
            rows[(size_t)y][(size_t)x] = lit ? '#' : '.';
        }
    }
    return rows;
}

std::string joined(const std::vector<std::string> &rows)
{
    std::string s;
    for (const std::string &r : rows)
        s += r + "\n";
    return s;
}

bool wait_for_file(const std::string &path, double timeout_s)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    struct stat st;
    while (lstat(path.c_str(), &st) != 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace

TEST(LedsimView, DrawsTheSignDotForDotInATerminal)
{
    struct Case {
        const char *name;
        int cols, rows;
        bool dots;                          // the layout the terminal's size allows
        std::vector<std::string> afterwards; // commands after the picture is shown: the view redraws
        std::string status;
        bool reverse, dark;
    } cases[] = {
        {"dots in a large terminal", 200, 50, true, {}, "still  div 4  free 24  received 8  dropped 0  bright 10", false, false},
        {"half blocks in a small one", 80, 12, false, {}, "still  div 4  free 24  received 8  dropped 0  bright 10", false, false},
        {"LED reverse", 80, 12, false, {"set led_reverse 1"}, "bright 10  reverse", true, false},
        {"brightness 0 leaves the LEDs dark", 200, 50, true, {"set scmode_div 9", "lm_bright 0"}, "still  div 9  free 24  received 8  dropped 0  bright 0", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testutil::ScratchDir dir;
        std::string link = dir.file("port");
        // The shell stays to show ledsim's exit status; Ctrl-C is for ledsim.
        TmuxSession tmux("trap '' INT; " LEDSIM_BIN " --view --link " + link + " 2>" + dir.file("err") +
                             "; echo ledsim exited $?; sleep 60",
                         c.cols, c.rows);
        ASSERT_TRUE(wait_for_file(link, 10)) << tmux.capture();
        {
            SimClient client(link);
            client.exchange("echo 0");
            for (std::string cmd : {std::string("sc_clear"), "sc_data" + glyph_words(), std::string("sc_show")})
                client.exchange(cmd);
            for (const std::string &cmd : c.afterwards)
                client.exchange(cmd);
        }
        std::string screen = tmux.wait_for(c.status);
        ASSERT_NE(screen.find(c.status), std::string::npos) << screen;
        EXPECT_EQ(joined(read_sign(screen, c.dots)), joined(expected_sign(c.reverse, c.dark))) << screen;
        std::string colours = tmux.capture(true);
        EXPECT_EQ(colours.find("\033[38;5;196m") != std::string::npos, !c.dark); // the red of full brightness
        EXPECT_EQ(tmux.display("#{cursor_flag}"), "0");

        // Ctrl-C ends it cleanly, with the cursor back.
        tmux.tmux({"send-keys", "C-c"});
        screen = tmux.wait_for("ledsim exited");
        EXPECT_NE(screen.find("ledsim exited 0"), std::string::npos) << screen;
        EXPECT_EQ(tmux.display("#{cursor_flag}"), "1");
        EXPECT_NE(testutil::read_file(dir.file("err")).find("8 column words received"), std::string::npos);
    }
}

TEST(LedsimView, WithoutATerminalSaysSoAndEnds)
{
    testutil::ScratchDir dir;
    testutil::RunOptions opt;
    opt.cwd = dir.path();
    testutil::RunResult r = testutil::run_program(LEDSIM_BIN, {"--view", "--link", dir.file("port")}, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ledsim: --view needs a terminal"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("board on"), std::string::npos) << r.err;
}

TEST(LedsimView, RedrawsOnlyOnChangeAndAtMostThirtyTimesASecond)
{
    // The view on a pseudo-terminal of the test's own, driven with made-up
    // times, so the frame pacing is checked without depending on the clock.
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    struct termios tio;
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    fcntl(master, F_SETFL, O_NONBLOCK);
    struct winsize ws = {12, 80, 0, 0}; // room for half blocks only
    ioctl(master, TIOCSWINSZ, &ws);
    auto drawn = [master]() {
        std::string got;
        char buf[65536];
        for (int idle = 0; idle < 5;) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) {
                got.append(buf, (size_t)n);
                idle = 0;
            } else {
                idle++;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return got;
    };

    Board board;
    board_init(&board, BoardConfig());
    View view;
    view.fd = slave;
    const int64_t ms = 1000;
    view_open(&view, board, 0);
    std::string first = drawn();
    EXPECT_NE(first.find("\033[?25l"), std::string::npos); // cursor hidden
    EXPECT_NE(first.find("idle  div 4"), std::string::npos);

    view_update(&view, board, 100 * ms); // nothing changed: nothing drawn
    EXPECT_EQ(drawn(), "");
    EXPECT_EQ(view_next_event(view), -1);

    board.display[0] = 0xffff;
    view_update(&view, board, 150 * ms); // changed: drawn at once
    EXPECT_NE(drawn().find("\u2588"), std::string::npos);
    board.display[1] = 0xffff;
    view_update(&view, board, 160 * ms); // changed again within 1/30 s: held back
    EXPECT_EQ(drawn(), "");
    int64_t due = view_next_event(view);
    EXPECT_GE(due, 160 * ms);
    EXPECT_LE(due, 150 * ms + 1000 * ms / 30);
    view_update(&view, board, due);
    EXPECT_NE(drawn().find("\u2588\u2588"), std::string::npos);
    EXPECT_EQ(view_next_event(view), -1);

    view_close(&view, board);
    EXPECT_NE(drawn().find("\033[?25h"), std::string::npos); // cursor back
    close(slave);
    close(master);
}

TEST(LedsimView, ShowsTheGlyphThatLedtickDrawsWithDebiansFont)
{
    // The letter A of xfonts-base's 8x16rk, as the sign shows it.
    const char *const letter_a[16] = {
        "........", "...#....", "..#.#...", "..#.#...", "..#.#...", ".#...#..", ".#...#..", ".#...#..",
        ".#...#..", ".#####..", "#.....#.", "#.....#.", "#.....#.", "##...##.", "........", "........",
    };
    testutil::ScratchDir dir;
    std::string link = dir.file("port");
    TmuxSession tmux("trap '' INT; " LEDSIM_BIN " --view --link " + link + " --columns " + dir.file("columns") +
                         " 2>" + dir.file("err") + "; echo ledsim exited $?; sleep 60",
                     80, 12);
    ASSERT_TRUE(wait_for_file(link, 10)) << tmux.capture();
    testutil::RunOptions opt;
    opt.cwd = dir.path();
    testutil::RunResult r = testutil::run_program(
        LEDTICK_BIN, {"-Q", "-t", link, "-F", "/usr/share/fonts/X11/misc", "-a", "8x16rk.pcf.gz", "-k",
                      "jiskan16.pcf.gz", "-e", "utf8", "-n", "-c", "A"},
        opt);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string screen = tmux.wait_for("still  div 4  free 24  received 8  dropped 0");
    tmux.tmux({"send-keys", "C-c"});
    tmux.wait_for("ledsim exited");

    std::vector<std::string> want(16, std::string(display_width, '.'));
    for (int y = 0; y < 16; y++)
        want[(size_t)y].replace(0, 8, letter_a[y]);
    EXPECT_EQ(joined(read_sign(screen, false)), joined(want)) << screen;
    // ... which are the words ledsim received.
    std::string words = testutil::read_file(dir.file("columns"));
    EXPECT_EQ(words.substr(words.rfind('\n', words.size() - 2) + 1), "3c 7c4 3840 4040 3840 7c4 3c 0\n");
}
