// ledsim's model of the LED controller board: its command interpreter, the
// column buffer and the scroll, the still picture, and the EEPROM. It knows
// nothing of the line; the I/O loop hands it whole commands and the time.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct BoardConfig {
    int buffer_cols = 256;  // column buffer (and EEPROM write buffer), in words
    int module_width = 32;  // columns of one LED module
    int column_ms = 5;      // scroll step unit; a column enters every div units
    int eeprom_kbit = 256;  // 0: no EEPROM on the board
};

// What the EEPROM keeps across power cycles (and, with --eeprom, across runs).
struct RomContent {
    std::vector<uint16_t> data;
    std::string comment;
    int speed = 4;
    int bright = 10;
    int led_reverse = 0;
};

enum class ShowMode { Idle, Scroll, Still };

struct BoardCounters {
    long commands = 0;
    long words_received = 0; // column words in "sc_data" and "rom_dwrite"
    long words_dropped = 0;  // of those, words the board could not take
    long unanswered = 0;     // commands swallowed by a fault
};

struct Board {
    BoardConfig cfg;

    // Interpreter settings, at their power-up values.
    bool echo = true;
    int div = 4;
    int cmodule = 1;
    int bright = 10;
    int led_reverse = 0;

    // Display. `display` holds the columns on the LEDs, leftmost first.
    ShowMode mode = ShowMode::Idle;
    std::deque<uint16_t> queue;   // columns waiting to scroll in
    std::vector<uint16_t> still;  // still picture being filled
    std::deque<uint16_t> display;
    bool scroll_ended = false;    // "sc_end" came: run out the last columns
    int blanks_after_end = 0;     // blank columns shifted in since the queue ran dry
    int64_t next_step_us = 0;     // time of the next scroll step

    // EEPROM.
    RomContent rom;
    std::deque<uint16_t> rom_pending; // write buffer, drained a page at a time
    int64_t next_page_us = 0;
    bool rom_dirty = false;           // content changed since the last save

    BoardCounters count;
    // Column words received, one entry per display run or EEPROM write.
    std::vector<std::vector<uint16_t>> runs;
    // The words of the last display run ("sc_clear" on) that the board
    // took, so without the dropped ones: what its LEDs have shown.
    std::vector<uint16_t> shown;
};

// The sign is 16 dots high; a column word holds one column, the top dot
// in the highest bit.
const int board_rows = 16;
inline bool board_dot(uint16_t word, int row)
{
    return ((word >> (board_rows - 1 - row)) & 1) != 0;
}

void board_init(Board *board, const BoardConfig &cfg);

// Runs one command (the bytes before its carriage return, line feeds
// removed) and returns the reply lines, the last of them "Ok".
std::vector<std::string> board_command(Board *board, const std::string &cmd, int64_t now_us);

// Moves the scroll and the EEPROM write buffer on to `now_us`.
void board_advance(Board *board, int64_t now_us);

// When board_advance next has something to do, or -1.
int64_t board_next_event(const Board &board);

int board_display_width(const Board &board);
int board_scroll_state(const Board &board); // the "sc_mode" number: 0, 1 or 2
int board_free_columns(const Board &board);
