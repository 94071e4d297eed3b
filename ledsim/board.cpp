// The board model: every command the host sends, and the scroll and the
// EEPROM write pace as time passes.
#include "board.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace {

const int rom_page_words = 32;      // one EEPROM page of 64 bytes
const int64_t rom_page_us = 5000;   // write time of one page

using Lines = std::vector<std::string>;

std::vector<std::string> split_words(const std::string &text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    std::string w;
    while (in >> w)
        words.push_back(w);
    return words;
}

// A decimal int, the whole token, within [lo, hi].
bool parse_int(const std::string &tok, int lo, int hi, int *value)
{
    if (tok.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    long v = strtol(tok.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    *value = (int)v;
    return true;
}

// A column word: one to four hexadecimal digits.
bool parse_word(const std::string &tok, uint16_t *word)
{
    if (tok.empty() || tok.size() > 4)
        return false;
    unsigned v = 0;
    for (char c : tok) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * 16 + (unsigned)d;
    }
    *word = (uint16_t)v;
    return true;
}

// Shows bytes that are not printable as \xNN, so that an error line stays
// one readable line.
std::string printable(const std::string &s)
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

int64_t step_us(const Board &b)
{
    return (int64_t)b.div * b.cfg.column_ms * 1000;
}

void resize_display(Board *b)
{
    size_t width = (size_t)board_display_width(*b);
    while (b->display.size() > width)
        b->display.pop_front();
    while (b->display.size() < width)
        b->display.push_front(0);
}

void start_run(Board *b)
{
    b->runs.emplace_back();
}

std::vector<uint16_t> &current_run(Board *b)
{
    if (b->runs.empty())
        start_run(b);
    return b->runs.back();
}

bool scroll_finished(const Board &b)
{
    return b.scroll_ended && b.queue.empty() && b.blanks_after_end >= board_display_width(b);
}

void scroll_step(Board *b)
{
    uint16_t col = 0;
    if (!b->queue.empty()) {
        col = b->queue.front();
        b->queue.pop_front();
        b->blanks_after_end = 0;
    } else {
        b->blanks_after_end++;
    }
    b->display.pop_front();
    b->display.push_back(col);
}

int rom_capacity_words(const Board &b)
{
    return b.cfg.eeprom_kbit * 64;
}

void rom_flush(Board *b)
{
    b->rom.data.insert(b->rom.data.end(), b->rom_pending.begin(), b->rom_pending.end());
    if (!b->rom_pending.empty())
        b->rom_dirty = true;
    b->rom_pending.clear();
}

// Parses the words of a data command. A token that is no column word
// refuses the whole command; its words count as received and dropped.
bool take_words(Board *b, const std::vector<std::string> &args, std::vector<uint16_t> *words, Lines *out)
{
    for (size_t i = 1; i < args.size(); i++) {
        uint16_t w;
        if (!parse_word(args[i], &w)) {
            long n = (long)args.size() - 1;
            b->count.words_received += n;
            b->count.words_dropped += n;
            out->push_back("E bad column word: " + printable(args[i]));
            return false;
        }
        words->push_back(w);
    }
    return true;
}

// Stores as many words as there is room for and drops the rest, loudly.
void store_words(Board *b, const std::vector<uint16_t> &words, size_t room, const char *why,
                 Lines *out, std::vector<uint16_t> *dest_vec, std::deque<uint16_t> *dest_deque)
{
    std::vector<uint16_t> &run = current_run(b);
    run.insert(run.end(), words.begin(), words.end());
    b->count.words_received += (long)words.size();
    size_t keep = words.size() < room ? words.size() : room;
    if (dest_vec)
        dest_vec->insert(dest_vec->end(), words.begin(), words.begin() + (long)keep);
    if (dest_deque)
        dest_deque->insert(dest_deque->end(), words.begin(), words.begin() + (long)keep);
    if (keep < words.size()) {
        b->count.words_dropped += (long)(words.size() - keep);
        out->push_back(why);
    }
}

void cmd_sc_data(Board *b, const std::vector<std::string> &args, int64_t now_us, Lines *out)
{
    std::vector<uint16_t> words;
    if (take_words(b, args, &words, out) && !words.empty()) {
        size_t room = (size_t)board_free_columns(*b);
        if (b->mode == ShowMode::Scroll) {
            if (b->queue.empty() && scroll_finished(*b) == false && b->next_step_us < now_us)
                b->next_step_us = now_us + step_us(*b);
            store_words(b, words, room, "E buffer overflow", out, nullptr, &b->queue);
        } else {
            store_words(b, words, room, "E buffer overflow", out, &b->still, nullptr);
        }
        size_t keep = words.size() < room ? words.size() : room;
        b->shown.insert(b->shown.end(), words.begin(), words.begin() + (long)keep);
    }
    out->push_back("D " + std::to_string(board_free_columns(*b)));
}

void cmd_rom_dwrite(Board *b, const std::vector<std::string> &args, int64_t now_us, Lines *out)
{
    std::vector<uint16_t> words;
    bool ok = take_words(b, args, &words, out);
    int buffer_free = b->cfg.buffer_cols - (int)b->rom_pending.size();
    if (ok && !words.empty()) {
        if (b->cfg.eeprom_kbit == 0) {
            store_words(b, words, 0, "E no eeprom", out, nullptr, nullptr);
        } else {
            int rom_free = rom_capacity_words(*b) - (int)(b->rom.data.size() + b->rom_pending.size());
            bool full = rom_free < buffer_free;
            int room = full ? rom_free : buffer_free;
            if (b->rom_pending.empty())
                b->next_page_us = now_us + rom_page_us;
            store_words(b, words, (size_t)room, full ? "E eeprom full" : "E buffer overflow", out,
                        nullptr, &b->rom_pending);
        }
        buffer_free = b->cfg.buffer_cols - (int)b->rom_pending.size();
    }
    out->push_back("D " + std::to_string(buffer_free));
}

bool need_rom(const Board &b, Lines *out)
{
    if (b.cfg.eeprom_kbit == 0) {
        out->push_back("E no eeprom");
        return false;
    }
    return true;
}

// "set NAME VALUE", "lm_bright VALUE", "rom_set NAME VALUE": one number
// within its range into one setting.
struct Setting {
    const char *command; // first word
    const char *name;    // second word, or null when the value follows the command
    int lo, hi;
    int Board::*field;
    int RomContent::*rom_field;
};

const Setting settings[] = {
    {"set", "scmode_div", 1, 255, &Board::div, nullptr},
    {"set", "cmodule", 1, 64, &Board::cmodule, nullptr},
    {"set", "led_reverse", 0, 1, &Board::led_reverse, nullptr},
    {"lm_bright", nullptr, 0, 10, &Board::bright, nullptr},
    {"rom_set", "speed", 1, 255, nullptr, &RomContent::speed},
    {"rom_set", "bright", 0, 10, nullptr, &RomContent::bright},
    {"rom_set", "led_reverse", 0, 1, nullptr, &RomContent::led_reverse},
};

void cmd_setting(Board *b, const std::vector<std::string> &args, Lines *out)
{
    const std::string &cmd = args[0];
    bool named = args.size() >= 2;
    for (const Setting &s : settings) {
        if (cmd != s.command)
            continue;
        size_t value_at = s.name ? 2 : 1;
        if (s.name && (!named || args[1] != s.name))
            continue;
        int v;
        if (args.size() != value_at + 1 || !parse_int(args[value_at], s.lo, s.hi, &v)) {
            out->push_back("E bad argument: " + printable(cmd) + (s.name ? std::string(" ") + s.name : "") +
                           " needs a number from " + std::to_string(s.lo) + " to " + std::to_string(s.hi));
            return;
        }
        if (s.rom_field) {
            if (!need_rom(*b, out))
                return;
            b->rom.*s.rom_field = v;
            b->rom_dirty = true;
        } else {
            b->*s.field = v;
            if (s.field == &Board::cmodule)
                resize_display(b);
        }
        return;
    }
    out->push_back("E bad argument: " + printable(cmd) + (named ? " " + printable(args[1]) : ""));
}

} // namespace

void board_init(Board *board, const BoardConfig &cfg)
{
    *board = Board();
    board->cfg = cfg;
    resize_display(board);
}

int board_display_width(const Board &board)
{
    return board.cmodule * board.cfg.module_width;
}

int board_scroll_state(const Board &board)
{
    if (board.mode != ShowMode::Scroll)
        return 0;
    return scroll_finished(board) ? 1 : 2;
}

int board_free_columns(const Board &board)
{
    if (board.mode == ShowMode::Scroll)
        return board.cfg.buffer_cols - (int)board.queue.size();
    int left = board_display_width(board) - (int)board.still.size();
    return left > 0 ? left : 0;
}

void board_advance(Board *board, int64_t now_us)
{
    if (board->mode == ShowMode::Scroll) {
        while (!scroll_finished(*board) && board->next_step_us <= now_us) {
            if (board->queue.empty() && !board->scroll_ended) {
                // Nothing to show yet: the scroll waits for data.
                board->next_step_us = now_us + step_us(*board);
                break;
            }
            scroll_step(board);
            board->next_step_us += step_us(*board);
        }
    }
    while (!board->rom_pending.empty() && board->next_page_us <= now_us) {
        for (int i = 0; i < rom_page_words && !board->rom_pending.empty(); i++) {
            board->rom.data.push_back(board->rom_pending.front());
            board->rom_pending.pop_front();
        }
        board->rom_dirty = true;
        board->next_page_us += rom_page_us;
    }
}

int64_t board_next_event(const Board &board)
{
    int64_t next = -1;
    if (board.mode == ShowMode::Scroll && !scroll_finished(board) &&
        (!board.queue.empty() || board.scroll_ended))
        next = board.next_step_us;
    if (!board.rom_pending.empty() && (next < 0 || board.next_page_us < next))
        next = board.next_page_us;
    return next;
}

std::vector<std::string> board_command(Board *board, const std::string &cmd, int64_t now_us)
{
    board_advance(board, now_us);
    board->count.commands++;
    Lines out;
    std::vector<std::string> args = split_words(cmd);
    const std::string name = args.empty() ? "" : args[0];

    if (args.empty()) {
        // An empty line only asks for the prompt.
    } else if (name == "echo") {
        int v;
        if (args.size() == 2 && parse_int(args[1], 0, 1, &v))
            board->echo = v != 0;
        else
            out.push_back("E bad argument: echo needs 0 or 1");
    } else if (name == "sync") {
        out.push_back("D SYNC");
    } else if (name == "set" || name == "lm_bright" || name == "rom_set") {
        cmd_setting(board, args, &out);
    } else if (name == "sc_clear") {
        board->mode = ShowMode::Idle;
        board->queue.clear();
        board->still.clear();
        board->display.assign((size_t)board_display_width(*board), 0);
        board->scroll_ended = false;
        board->shown.clear();
        start_run(board);
    } else if (name == "sc_scroll") {
        board->mode = ShowMode::Scroll;
        board->scroll_ended = false;
        board->blanks_after_end = 0;
        board->next_step_us = now_us + step_us(*board);
    } else if (name == "sc_data") {
        cmd_sc_data(board, args, now_us, &out);
    } else if (name == "sc_end") {
        if (board->mode == ShowMode::Scroll && !board->scroll_ended) {
            board->scroll_ended = true;
            if (board->next_step_us < now_us)
                board->next_step_us = now_us + step_us(*board);
        }
    } else if (name == "sc_show") {
        board->mode = ShowMode::Still;
        board->display.assign(board->still.begin(), board->still.end());
        // The picture starts at the left edge.
        while ((int)board->display.size() > board_display_width(*board))
            board->display.pop_back();
        while ((int)board->display.size() < board_display_width(*board))
            board->display.push_back(0);
    } else if (name == "sc_mode") {
        out.push_back("D " + std::to_string(board_scroll_state(*board)));
    } else if (name == "rom_check") {
        if (board->cfg.eeprom_kbit == 0)
            out.push_back("D exist:0");
        else
            out.push_back("D exist:1 size:" + std::to_string(board->cfg.eeprom_kbit));
    } else if (name == "rom_format") {
        if (need_rom(*board, &out)) {
            board->rom = RomContent();
            board->rom_pending.clear();
            board->rom_dirty = true;
            start_run(board);
        }
    } else if (name == "rom_dwrite") {
        cmd_rom_dwrite(board, args, now_us, &out);
    } else if (name == "rom_dclose") {
        if (need_rom(*board, &out))
            rom_flush(board);
    } else if (name == "rom_cwrite") {
        if (need_rom(*board, &out)) {
            // The comment is the rest of the command after one blank.
            size_t at = cmd.find("rom_cwrite") + 10;
            std::string comment = at < cmd.size() ? cmd.substr(at + 1) : "";
            board->rom.comment = comment;
            board->rom_dirty = true;
        }
    } else {
        out.push_back("E unknown command: " + printable(name));
    }
    out.push_back("Ok");
    return out;
}
