// The pseudo-terminal that stands in for the board's serial port.
#pragma once

#include <string>

struct Pty {
    int master = -1;
    std::string slave_name; // /dev/pts/N, the name clients open
};

// Opens a pseudo-terminal whose slave side is raw, so that no line
// discipline changes a byte before any client has set the line up.
bool pty_open(Pty *pty, std::string *err);
void pty_close(Pty *pty);

// Points `link_path` at the slave, replacing an older link in one step.
bool pty_make_link(const Pty &pty, const std::string &link_path, std::string *err);
// Removes the link if it still points at our slave.
void pty_remove_link(const Pty &pty, const std::string &link_path);
