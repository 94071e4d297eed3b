// Faults that ledsim can play, to test how the host copes with a board that
// misbehaves. Each kind is one entry of fault_table; the I/O loop asks the
// Faults record at the points where a fault changes what the board does.
#pragma once

#include <string>

struct Faults {
    long silent_after = -1; // answer only this many commands, then nothing
    int delay_ms = 0;       // every answer this much late
    bool split = false;     // replies one byte at a time, 1 ms apart
};

struct FaultKind {
    const char *name;
    const char *arg;  // what follows "name:", or null for a kind without one
    const char *help;
    // Applies the kind with its argument; false when the argument is bad.
    bool (*apply)(Faults *faults, const std::string &arg);
};

extern const FaultKind fault_table[];
extern const int fault_table_size;

// Parses one --fault value ("split", "delay:20"); on failure returns false
// with a message in *err.
bool fault_parse(Faults *faults, const std::string &value, std::string *err);

// True when the command numbered `index` (1 for the first) gets no answer.
bool fault_swallows(const Faults &faults, long index);
