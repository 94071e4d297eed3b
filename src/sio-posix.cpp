// The port layer on POSIX: opens a serial device exclusively, puts the line
// into raw 8N2 mode at the link speed, and offers reads that never wait,
// writes that complete, and the DTR and RTS modem lines.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "nabort.h"
#include "sio.h"

namespace {

struct BaudEntry {
    int bps;
    speed_t code;
};

// Speeds that termios can express; any other is refused like a setting the
// device does not take.
const BaudEntry baud_table[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

bool sio_baud_code(int bps, speed_t *code)
{
    for (const BaudEntry &e : baud_table) {
        if (e.bps == bps) {
            *code = e.code;
            return true;
        }
    }
    return false;
}

// Raw 8N2: no line discipline may change a byte in either direction, and a
// read returns at once with what has arrived. Flow control stays as it was.
void sio_make_raw(struct termios *tio)
{
    tio->c_iflag &= ~(tcflag_t)(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | INPCK);
#ifdef IUCLC
    tio->c_iflag &= ~(tcflag_t)IUCLC;
#endif
    tio->c_oflag &= ~(tcflag_t)OPOST;
    tio->c_lflag &= ~(tcflag_t)(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio->c_cflag &= ~(tcflag_t)(CSIZE | PARENB);
    tio->c_cflag |= CS8 | CSTOPB | CREAD | CLOCAL;
    tio->c_cc[VMIN] = 0;
    tio->c_cc[VTIME] = 0;
}

void sio_modem_line(sio_t *scont, int line, int val)
{
    if (scont->comHandle < 0)
        return;
    // A pseudo-terminal has no modem lines; the failure changes nothing.
    (void)ioctl(scont->comHandle, val ? TIOCMBIS : TIOCMBIC, &line);
}

// True when the other end of the line has gone (a hang-up).
bool sio_hung_up(int fd)
{
    struct pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

void sio_open(sio_t *scont)
{
    scont->comHandle = open(scont->tty_name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (scont->comHandle < 0)
        nabort("tty port \"%s\" not found.\n", scont->tty_name);
    // TIOCEXCL keeps other users out but not root, so a lock on the device
    // tells a second ledtick that the port is taken. Both are meaningless on
    // a device that is no terminal, which the settings below refuse.
    (void)ioctl(scont->comHandle, TIOCEXCL);
    if (flock(scont->comHandle, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        nabort("tty port \"%s\" not found.\n", scont->tty_name);

    struct termios tio;
    if (tcgetattr(scont->comHandle, &tio) != 0)
        nabort("error in GetCommState");
    speed_t code;
    if (!sio_baud_code(scont->tty_baud, &code))
        nabort("error in SetCommState");
    sio_make_raw(&tio);
    if (cfsetispeed(&tio, code) != 0 || cfsetospeed(&tio, code) != 0 ||
        tcsetattr(scont->comHandle, TCSANOW, &tio) != 0)
        nabort("error in SetCommState");
    // A freshly opened port starts with nothing received: bytes the device
    // kept from an earlier user of the line are not this run's replies.
    (void)tcflush(scont->comHandle, TCIFLUSH);

    sio_dtr_set(scont, 1);
    sio_rts_set(scont, 1);
}

void sio_close(sio_t *scont)
{
    if (scont->comHandle < 0)
        return;
    close(scont->comHandle);
    scont->comHandle = -1;
}

int sio_write(sio_t *scont, const void *buf, int len)
{
    const char *p = static_cast<const char *>(buf);
    int done = 0;
    while (done < len) {
        ssize_t n = write(scont->comHandle, p + done, (size_t)(len - done));
        if (n > 0) {
            done += (int)n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        // The device's buffer is full: wait until it takes more.
        struct pollfd pw = {scont->comHandle, POLLOUT, 0};
        if (poll(&pw, 1, -1) < 0 && errno != EINTR)
            return -1;
        if (pw.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            errno = EIO;
            return -1;
        }
    }
    return done;
}

int sio_read(sio_t *scont, void *buf, int len)
{
    for (;;) {
        ssize_t n = read(scont->comHandle, buf, (size_t)len);
        if (n > 0)
            return (int)n;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        // With VMIN 0 a hung-up line reads as empty too; tell them apart.
        if (sio_hung_up(scont->comHandle)) {
            errno = EIO;
            return -1;
        }
        return 0;
    }
}

void sio_dtr_set(sio_t *scont, int val)
{
    sio_modem_line(scont, TIOCM_DTR, val);
}

void sio_rts_set(sio_t *scont, int val)
{
    sio_modem_line(scont, TIOCM_RTS, val);
}
