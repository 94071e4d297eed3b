// The command exchange with the board, on top of the port layer.
#include "sio.h"

void sio_init(sio_t *scont)
{
    scont->tty_name = "COM1";
    scont->tty_baud = 19200;
    scont->comHandle = -1;
    scont->f_v = 0;
}
