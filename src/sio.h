// The serial link to the LED controller board: the port layer (sio-posix)
// and the line-based command exchange (sio).
#pragma once

struct sio_t {
    const char *tty_name; // device name of the port
    int tty_baud;         // line speed in bits per second
    int comHandle;        // file descriptor of the open port, -1 while closed
    int f_v;              // link trace level
};

// Defaults: "COM1", 19200 baud, closed, trace level 0. Opens nothing.
void sio_init(sio_t *scont);

// Port layer. Every failure of sio_open is fatal.
void sio_open(sio_t *scont);
void sio_close(sio_t *scont);
int sio_write(sio_t *scont, const void *buf, int len);
int sio_read(sio_t *scont, void *buf, int len);
void sio_rts_set(sio_t *scont, int val);
void sio_dtr_set(sio_t *scont, int val);

// Command exchange.
char *sio_cmd(sio_t *scont, const char *cmd_fmt, ...) __attribute__((format(printf, 2, 3)));
char *sio_gets(sio_t *scont, char *buf, int buflen);
void sio_puts(sio_t *scont, const char *str);
void sio_sync(sio_t *scont);
void sio_input_purge(sio_t *scont);
int sio_getc0(sio_t *scont, unsigned char *pC);
int sio_getc(sio_t *scont);
void sio_putc(sio_t *scont, int c);
void sio_putc_e(sio_t *scont, int c);
