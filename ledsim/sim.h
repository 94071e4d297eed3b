// ledsim's I/O loop: the line between the pseudo-terminal and the board
// model, with its pacing, the faults, the log and the output files.
#pragma once

#include <csignal>
#include <string>

#include "board.h"
#include "faults.h"

struct SimOptions {
    BoardConfig board;
    std::string link_path;    // --link
    std::string log_path;     // --log
    std::string columns_path; // --columns
    std::string eeprom_path;  // --eeprom
    int baud = 0;             // --baud; 0: no pacing
    bool once = false;        // --once
    Faults faults;            // --fault
    bool view = false;        // --view
    std::string png_path;     // --png
    std::string png_eeprom_path; // --png-eeprom
    int png_scale = 4;        // --png-scale
};

// Runs the board until *stop is set (by a signal) or, with `once`, until
// the first client has closed the port. Returns the exit status: 1 when
// it could not start, or could not write a picture it was asked for.
int sim_run(const SimOptions &opt, volatile sig_atomic_t *stop);

// "N commands, N column words received, N words dropped, N commands not answered"
std::string sim_summary(const BoardCounters &count);
