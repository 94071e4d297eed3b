// The I/O loop. Bytes from the host are received at the line's pace and
// assembled into commands; the board's replies (and the echo) go out
// through one queue, again at the line's pace, so that their order is the
// order in which the board produced them.
#include "sim.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <utility>

#include "picture.h"
#include "pty.h"
#include "rom_store.h"
#include "view.h"

namespace {

const size_t max_command = 127; // the longest command the interpreter takes

int64_t now_us()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

struct OutChunk {
    std::string bytes;
    int64_t not_before_us;
};

struct Sim {
    const SimOptions *opt = nullptr;
    Board board;
    Pty pty;
    FILE *log = nullptr;
    int64_t start_us = 0;
    int64_t byte_us = 0; // time of one byte on the line, 0 without pacing

    bool connected = false;
    bool had_client = false;

    std::deque<std::pair<int64_t, unsigned char>> rx; // bytes and when they are fully received
    int64_t rx_last_us = 0;
    std::string command;
    bool command_too_long = false;

    std::deque<OutChunk> tx;
    int64_t tx_next_us = 0; // the line is free again at this time
    bool tx_blocked = false;

    View view;
};

void log_line(Sim *s, int64_t t_us, char dir, const std::string &text)
{
    if (s->log == nullptr)
        return;
    fprintf(s->log, "%8lld %c %s\n", (long long)((t_us - s->start_us) / 1000), dir, text.c_str());
    fflush(s->log);
}

std::string log_text(const std::string &s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7f) {
            out += (char)c;
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

void send(Sim *s, const std::string &bytes, int64_t not_before_us)
{
    if (s->connected)
        s->tx.push_back({bytes, not_before_us});
}

void save_rom(Sim *s)
{
    if (s->opt->eeprom_path.empty() || !s->board.rom_dirty)
        return;
    std::string err;
    if (rom_store_save(s->opt->eeprom_path, s->board.rom, &err)) {
        s->board.rom_dirty = false;
    } else {
        fprintf(stderr, "ledsim: %s\n", err.c_str());
        log_line(s, now_us(), '*', err);
    }
}

void run_command(Sim *s, int64_t t)
{
    std::string cmd;
    cmd.swap(s->command);
    bool too_long = s->command_too_long;
    s->command_too_long = false;

    if (fault_swallows(s->opt->faults, s->board.count.commands + 1)) {
        s->board.count.commands++;
        s->board.count.unanswered++;
        log_line(s, t, '<', log_text(cmd) + "  (not answered: fault)");
        return;
    }
    log_line(s, t, '<', log_text(cmd) + (too_long ? "..." : ""));
    std::vector<std::string> lines;
    if (too_long) {
        s->board.count.commands++;
        lines = {"E command too long", "Ok"};
    } else {
        lines = board_command(&s->board, cmd, t);
    }
    std::string reply;
    for (const std::string &l : lines) {
        log_line(s, t, '>', l);
        reply += l + "\r\n";
    }
    send(s, reply, t + (int64_t)s->opt->faults.delay_ms * 1000);
    if (cmd.compare(0, 4, "rom_") == 0 && s->board.rom_pending.empty())
        save_rom(s);
}

void receive_byte(Sim *s, unsigned char c, int64_t t)
{
    bool swallowed = fault_swallows(s->opt->faults, s->board.count.commands + 1);
    if (s->board.echo && !swallowed)
        send(s, c == '\r' ? std::string("\r\n") : std::string(1, (char)c), t);
    if (c == '\n')
        return;
    if (c == '\r') {
        run_command(s, t);
        return;
    }
    if (s->command.size() < max_command)
        s->command += (char)c;
    else
        s->command_too_long = true;
}

void process_rx(Sim *s, int64_t now)
{
    while (!s->rx.empty() && s->rx.front().first <= now) {
        auto [t, c] = s->rx.front();
        s->rx.pop_front();
        board_advance(&s->board, t);
        receive_byte(s, c, t);
    }
    board_advance(&s->board, now);
}

void client_closed(Sim *s, int64_t now)
{
    s->connected = false;
    s->tx.clear();
    s->tx_blocked = false;
    log_line(s, now, '*', "client closed the port");
}

void read_master(Sim *s, int64_t now)
{
    unsigned char buf[4096];
    for (;;) {
        ssize_t n = read(s->pty.master, buf, sizeof buf);
        if (n > 0) {
            for (ssize_t i = 0; i < n; i++) {
                int64_t start = s->rx_last_us > now ? s->rx_last_us : now;
                s->rx_last_us = start + s->byte_us;
                s->rx.push_back({s->rx_last_us, buf[i]});
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return; // EAGAIN, or EIO when no client holds the port
    }
}

void write_master(Sim *s, int64_t now)
{
    bool paced = s->byte_us > 0 || s->opt->faults.split;
    int64_t gap = s->byte_us;
    if (s->opt->faults.split && gap < 1000)
        gap = 1000;
    while (!s->tx.empty() && !s->tx_blocked) {
        OutChunk &front = s->tx.front();
        if (front.not_before_us > now || (paced && s->tx_next_us > now))
            return;
        std::string out;
        if (!paced) {
            while (!s->tx.empty() && s->tx.front().not_before_us <= now) {
                out += s->tx.front().bytes;
                s->tx.pop_front();
            }
        } else {
            // Bytes whose time has come; with split, one per write.
            int64_t from = s->tx_next_us > front.not_before_us ? s->tx_next_us : front.not_before_us;
            if (from < now - gap)
                from = now - gap; // an idle line does not save up time
            size_t due = s->opt->faults.split ? 1 : (size_t)((now - from) / gap + 1);
            out = front.bytes.substr(0, due);
            front.bytes.erase(0, out.size());
            if (front.bytes.empty())
                s->tx.pop_front();
            s->tx_next_us = from + (int64_t)out.size() * gap;
        }
        size_t done = 0;
        while (done < out.size()) {
            ssize_t n = write(s->pty.master, out.data() + done, out.size() - done);
            if (n > 0) {
                done += (size_t)n;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                s->tx.push_front({out.substr(done), 0});
                s->tx_blocked = true;
                return;
            } else {
                s->tx.clear(); // nobody is listening
                return;
            }
        }
    }
}

int64_t next_deadline(const Sim &s)
{
    int64_t next = board_next_event(s.board);
    auto earlier = [&next](int64_t t) {
        if (next < 0 || t < next)
            next = t;
    };
    if (!s.rx.empty())
        earlier(s.rx.front().first);
    if (!s.tx.empty() && !s.tx_blocked) {
        int64_t t = s.tx.front().not_before_us;
        if ((s.byte_us > 0 || s.opt->faults.split) && s.tx_next_us > t)
            t = s.tx_next_us;
        earlier(t);
    }
    int64_t frame = view_next_event(s.view);
    if (frame >= 0)
        earlier(frame);
    return next;
}

bool port_hung_up(int fd)
{
    struct pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN);
}

void write_columns(const Sim &s)
{
    if (s.opt->columns_path.empty())
        return;
    FILE *f = fopen(s.opt->columns_path.c_str(), "w");
    if (f == nullptr) {
        fprintf(stderr, "ledsim: cannot write \"%s\": %s\n", s.opt->columns_path.c_str(), strerror(errno));
        return;
    }
    for (const auto &run : s.board.runs) {
        for (size_t i = 0; i < run.size(); i++)
            fprintf(f, i == 0 ? "%x" : " %x", run[i]);
        fputc('\n', f);
    }
    fclose(f);
}

// The pictures: the last display run as the board took it, and the
// EEPROM's content, each with the LED reverse setting that shows it.
bool write_pictures(const Sim &s)
{
    bool ok = true;
    auto write = [&ok](const std::string &path, PngStrip strip) {
        std::string err;
        if (!path.empty() && !png_write_strip(path, strip, &err)) {
            fprintf(stderr, "ledsim: %s\n", err.c_str());
            ok = false;
        }
    };
    int width = board_display_width(s.board);
    write(s.opt->png_path, {s.board.shown, width, s.opt->png_scale, s.board.led_reverse != 0});
    write(s.opt->png_eeprom_path, {s.board.rom.data, width, s.opt->png_scale, s.board.rom.led_reverse != 0});
    return ok;
}

int sim_setup(Sim *s, const SimOptions &opt)
{
    s->opt = &opt;
    board_init(&s->board, opt.board);
    s->start_us = now_us();
    s->byte_us = opt.baud > 0 ? (int64_t)(11000000.0 / opt.baud + 0.5) : 0;
    std::string err;
    if (opt.view)
        view_check_terminal(&err);
    if (err.empty() && !opt.eeprom_path.empty()) {
        if (opt.board.eeprom_kbit == 0)
            err = "--eeprom needs an EEPROM; --eeprom-kbit is 0";
        else
            rom_store_load(opt.eeprom_path, opt.board.eeprom_kbit * 64, &s->board.rom, &err);
    }
    if (err.empty() && !opt.log_path.empty()) {
        s->log = fopen(opt.log_path.c_str(), "w");
        if (s->log == nullptr)
            err = "cannot write \"" + opt.log_path + "\": " + strerror(errno);
    }
    if (err.empty())
        pty_open(&s->pty, &err);
    if (err.empty() && !opt.link_path.empty())
        pty_make_link(s->pty, opt.link_path, &err);
    if (!err.empty()) {
        fprintf(stderr, "ledsim: %s\n", err.c_str());
        return 1;
    }
    log_line(s, s->start_us, '*', "board on " + s->pty.slave_name);
    fprintf(stderr, "ledsim: board on %s\n", s->pty.slave_name.c_str());
    if (opt.view)
        view_open(&s->view, s->board, now_us());
    return 0;
}

int sim_finish(Sim *s)
{
    view_close(&s->view, s->board);
    // Writes still in the EEPROM's buffer complete before the power goes.
    s->board.rom.data.insert(s->board.rom.data.end(), s->board.rom_pending.begin(), s->board.rom_pending.end());
    if (!s->board.rom_pending.empty())
        s->board.rom_dirty = true;
    s->board.rom_pending.clear();
    save_rom(s);
    write_columns(*s);
    bool pictures_ok = write_pictures(*s);
    std::string summary = sim_summary(s->board.count);
    if (s->log != nullptr) {
        fprintf(s->log, "summary: %s\n", summary.c_str());
        fclose(s->log);
    }
    fprintf(stderr, "ledsim: %s\n", summary.c_str());
    if (!s->opt->link_path.empty())
        pty_remove_link(s->pty, s->opt->link_path);
    pty_close(&s->pty);
    return pictures_ok ? 0 : 1;
}

} // namespace

std::string sim_summary(const BoardCounters &c)
{
    return std::to_string(c.commands) + " commands, " + std::to_string(c.words_received) +
           " column words received, " + std::to_string(c.words_dropped) + " words dropped, " +
           std::to_string(c.unanswered) + " commands not answered";
}

int sim_run(const SimOptions &opt, volatile sig_atomic_t *stop)
{
    Sim s;
    if (int rc = sim_setup(&s, opt))
        return rc;

    sigset_t blocked, during_wait;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    sigaddset(&blocked, SIGWINCH);
    sigprocmask(SIG_BLOCK, &blocked, &during_wait);
    sigdelset(&during_wait, SIGINT);
    sigdelset(&during_wait, SIGTERM);
    sigdelset(&during_wait, SIGHUP);
    sigdelset(&during_wait, SIGWINCH);

    while (!*stop) {
        int64_t now = now_us();
        if (!s.connected && !port_hung_up(s.pty.master)) {
            s.connected = s.had_client = true;
            log_line(&s, now, '*', "client opened the port");
        }
        process_rx(&s, now);
        write_master(&s, now);
        view_update(&s.view, s.board, now);

        int64_t deadline = next_deadline(s);
        int64_t wait_us = deadline < 0 ? -1 : deadline - now;
        if (wait_us < 0 && deadline >= 0)
            wait_us = 0;
        // Without a client the port reports a hang-up at once: look again
        // for one every few milliseconds instead of spinning.
        if (!s.connected && (wait_us < 0 || wait_us > 5000))
            wait_us = 5000;
        struct pollfd p = {s.connected ? s.pty.master : -1, (short)(POLLIN | (s.tx_blocked ? POLLOUT : 0)), 0};
        struct timespec ts = {(time_t)(wait_us / 1000000), (long)(wait_us % 1000000) * 1000};
        int r = ppoll(&p, 1, wait_us < 0 ? nullptr : &ts, &during_wait);
        if (r < 0)
            continue; // a signal: the loop test sees it
        now = now_us();
        if (p.revents & POLLOUT)
            s.tx_blocked = false;
        if (p.revents & POLLIN)
            read_master(&s, now);
        if ((p.revents & POLLHUP) && port_hung_up(s.pty.master)) {
            process_rx(&s, now);
            client_closed(&s, now);
            if (opt.once && s.had_client)
                break;
        }
    }
    return sim_finish(&s);
}
