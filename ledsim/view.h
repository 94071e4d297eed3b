// ledsim's live view: the sign drawn in the terminal on standard output,
// every LED a dot, with one status line under it.
#pragma once

#include <cstdint>
#include <string>

#include "board.h"

struct View {
    int fd = 1;             // the terminal: standard output
    int term_rows = 24, term_cols = 80;
    bool dots = false;      // a round dot per LED (tall, wide terminal), else half blocks
    int lines_drawn = 0;    // height of the frame on the screen, to go back to its top
    std::string last_frame; // what is on the screen, to redraw only on change
    int64_t last_draw_us = -1;
    bool pending = false;   // changed within the frame interval: draw when it has passed
    bool open = false;
};

// At most this many frames a second.
const int view_frames_per_second = 30;

// Fails, with the reason in *err, when standard output is no terminal.
bool view_check_terminal(std::string *err);

// Hides the cursor and draws the first frame. The cursor comes back at
// view_close, or when the process exits some other way.
void view_open(View *view, const Board &board, int64_t now_us);

// Draws the board when it looks different from the last frame, at most
// view_frames_per_second times a second.
void view_update(View *view, const Board &board, int64_t now_us);

// When view_update has a frame to draw that was held back, or -1.
int64_t view_next_event(const View &view);

// Draws the last frame, leaves the cursor below it and shows it again.
void view_close(View *view, const Board &board);

// The frame's text lines, without cursor movements: the sign as half
// blocks or dots, then the status line; at most `cols` - 1 columns wide.
std::string view_frame(const Board &board, bool dots, int cols);
std::string view_status(const Board &board, int shown_cols);
