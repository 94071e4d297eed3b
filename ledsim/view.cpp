// The terminal view. Each frame is built as text with ANSI colours and
// compared with the one on the screen; only a changed frame is written, and
// then from the top of the previous one, so the sign stays in place below
// whatever the terminal showed before it.
#include "view.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

volatile sig_atomic_t resized = 0;
int cursor_hidden_on = -1; // the terminal whose cursor is hidden

void on_resize(int)
{
    resized = 1;
}

void write_all(int fd, const std::string &s)
{
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n > 0)
            done += (size_t)n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return; // the terminal has gone: nothing more to show
    }
}

void restore_cursor()
{
    if (cursor_hidden_on >= 0) {
        write_all(cursor_hidden_on, "\033[0m\033[?25h");
        cursor_hidden_on = -1;
    }
}

void read_size(View *v)
{
    struct winsize ws;
    if (ioctl(v->fd, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0) {
        v->term_rows = ws.ws_row;
        v->term_cols = ws.ws_col;
    }
}

// Dots need the 16 rows and the status line, and two cells per LED so the
// dots keep the LEDs' square pitch; otherwise half blocks, two LEDs a cell.
void choose_layout(View *v, const Board &b)
{
    int width = board_display_width(b);
    v->dots = v->term_rows >= board_rows + 2 && v->term_cols > 2 * width;
}

// 256-colour palette entries: the red of a lit LED at the brightness of
// "lm_bright" (0 leaves the LEDs dark), and the grey of an unlit one.
int lit_colour(int bright)
{
    static const int reds[] = {52, 52, 88, 88, 124, 124, 160, 160, 196, 196};
    return reds[(bright < 1 ? 1 : bright > 10 ? 10 : bright) - 1];
}
const int unlit_colour = 237;

struct Pen {
    std::string *out;
    int fg = -1, bg = -1;
    void set(int f, int b)
    {
        if (f != fg && f >= 0)
            *out += "\033[38;5;" + std::to_string(f) + "m";
        if (b != bg && b >= 0)
            *out += "\033[48;5;" + std::to_string(b) + "m";
        if (f >= 0)
            fg = f;
        if (b >= 0)
            bg = b;
    }
};

const char *mode_name(const Board &b)
{
    switch (b.mode) {
    case ShowMode::Idle: return "idle";
    case ShowMode::Still: return "still";
    case ShowMode::Scroll: break;
    }
    return board_scroll_state(b) == 1 ? "scroll finished" : "scrolling";
}

} // namespace

std::string view_status(const Board &b, int shown_cols)
{
    std::string s = std::string(mode_name(b)) + "  div " + std::to_string(b.div) + "  free " +
                    std::to_string(board_free_columns(b)) + "  received " +
                    std::to_string(b.count.words_received) + "  dropped " + std::to_string(b.count.words_dropped) +
                    "  bright " + std::to_string(b.bright);
    if (b.led_reverse)
        s += "  reverse";
    int width = board_display_width(b);
    if (shown_cols < width)
        s += "  (" + std::to_string(shown_cols) + " of " + std::to_string(width) + " columns shown)";
    return s;
}

std::string view_frame(const Board &b, bool dots, int cols)
{
    int width = (int)b.display.size();
    int room = dots ? (cols - 1) / 2 : cols - 1;
    int shown = width < room ? width : room;
    if (shown < 0)
        shown = 0;
    int lit_c = lit_colour(b.bright);
    // What each LED looks like: dark when the brightness is 0, inverted
    // with the LED reverse setting.
    auto glows = [&](int x, int row) {
        return b.bright > 0 && board_dot(b.display[(size_t)x], row) != (b.led_reverse != 0);
    };
    std::string out;
    Pen pen{&out};
    if (dots) {
        for (int row = 0; row < board_rows; row++) {
            for (int x = 0; x < shown; x++) {
                bool on = glows(x, row);
                pen.set(on ? lit_c : unlit_colour, -1);
                out += on ? "\u25cf " : "\u00b7 ";
            }
            out += "\033[0m\n";
            pen = Pen{&out};
        }
    } else {
        for (int row = 0; row < board_rows; row += 2) {
            for (int x = 0; x < shown; x++) {
                bool top = glows(x, row), bottom = glows(x, row + 1);
                if (top && bottom) {
                    pen.set(lit_c, -1);
                    out += "\u2588";
                } else if (top || bottom) {
                    pen.set(lit_c, unlit_colour);
                    out += top ? "\u2580" : "\u2584";
                } else {
                    pen.set(-1, unlit_colour);
                    out += " ";
                }
            }
            out += "\033[0m\n";
            pen = Pen{&out};
        }
    }
    std::string status = view_status(b, shown);
    if ((int)status.size() > cols - 1)
        status.resize(cols > 1 ? (size_t)cols - 1 : 0);
    out += status;
    return out;
}

bool view_check_terminal(std::string *err)
{
    if (isatty(STDOUT_FILENO))
        return true;
    *err = "--view needs a terminal, and standard output is none";
    return false;
}

namespace {

void draw(View *v, const Board &b, int64_t now_us, bool force)
{
    if (resized) {
        resized = 0;
        read_size(v);
        // The old frame may have been rewrapped: start on a clean screen.
        write_all(v->fd, "\033[H\033[2J");
        v->lines_drawn = 0;
        force = true;
    }
    choose_layout(v, b);
    std::string frame = view_frame(b, v->dots, v->term_cols);
    v->pending = false;
    if (!force && frame == v->last_frame)
        return;
    std::string out = "\r";
    if (v->lines_drawn > 1)
        out += "\033[" + std::to_string(v->lines_drawn - 1) + "A";
    // Every line is cleared to its end, so a narrower frame leaves nothing.
    size_t start = 0;
    int lines = 1;
    for (size_t nl; (nl = frame.find('\n', start)) != std::string::npos; start = nl + 1, lines++)
        out += frame.substr(start, nl - start) + "\033[K\n";
    out += frame.substr(start) + "\033[K";
    // A shorter frame than the last leaves lines below it: clear them.
    if (lines < v->lines_drawn)
        out += "\033[J";
    write_all(v->fd, out);
    v->lines_drawn = lines;
    v->last_frame = frame;
    v->last_draw_us = now_us;
}

} // namespace

void view_open(View *v, const Board &b, int64_t now_us)
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_resize;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGWINCH, &sa, nullptr);
    read_size(v);
    cursor_hidden_on = v->fd;
    static bool registered = false;
    if (!registered) {
        atexit(restore_cursor);
        registered = true;
    }
    write_all(v->fd, "\033[?25l");
    v->open = true;
    draw(v, b, now_us, true);
}

void view_update(View *v, const Board &b, int64_t now_us)
{
    if (!v->open)
        return;
    if (!resized && v->last_draw_us >= 0 && now_us - v->last_draw_us < 1000000 / view_frames_per_second) {
        v->pending = true;
        return;
    }
    draw(v, b, now_us, false);
}

int64_t view_next_event(const View &v)
{
    if (!v.open || !v.pending)
        return -1;
    return v.last_draw_us + 1000000 / view_frames_per_second;
}

void view_close(View *v, const Board &b)
{
    if (!v->open)
        return;
    draw(v, b, v->last_draw_us, false);
    write_all(v->fd, "\n");
    restore_cursor();
    v->open = false;
}
