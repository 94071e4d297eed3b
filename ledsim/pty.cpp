#include "pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool pty_open(Pty *pty, std::string *err)
{
    int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) {
        *err = std::string("cannot open a pseudo-terminal: ") + strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    const char *name = ptsname(fd);
    struct termios tio;
    if (name == nullptr || tcgetattr(fd, &tio) != 0) {
        *err = std::string("cannot set up the pseudo-terminal: ") + strerror(errno);
        close(fd);
        return false;
    }
    // Settings made through the master apply to the slave side.
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        *err = std::string("cannot set up the pseudo-terminal: ") + strerror(errno);
        close(fd);
        return false;
    }
    // Open and close the slave once: from then on the master reports a
    // hang-up whenever no client holds the port, which is how the I/O loop
    // tells that a client has come or gone.
    int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        *err = std::string("cannot open ") + name + ": " + strerror(errno);
        close(fd);
        return false;
    }
    close(slave);
    pty->master = fd;
    pty->slave_name = name;
    return true;
}

void pty_close(Pty *pty)
{
    if (pty->master >= 0)
        close(pty->master);
    pty->master = -1;
}

bool pty_make_link(const Pty &pty, const std::string &link_path, std::string *err)
{
    std::string tmp = link_path + ".tmp" + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(pty.slave_name.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), link_path.c_str()) != 0) {
        *err = "cannot make the link \"" + link_path + "\": " + strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

void pty_remove_link(const Pty &pty, const std::string &link_path)
{
    char target[4096];
    ssize_t n = readlink(link_path.c_str(), target, sizeof target - 1);
    if (n < 0)
        return;
    target[n] = '\0';
    if (pty.slave_name == target)
        unlink(link_path.c_str());
}
