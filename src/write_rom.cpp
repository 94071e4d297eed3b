// Writing the rendered text files into the board's EEPROM: a counting pass
// that refuses a text too long before anything is formatted, then the
// writing pass.
#include "write_rom.h"

#include <climits>
#include <cstdio>

#include "ltio.h"
#include "nabort.h"
#include "sio.h"

int rom_check(lcont_t *lcont)
{
    sio_cmd(&lcont->scont, "sc_clear");
    const char *res = sio_cmd(&lcont->scont, "rom_check");
    int exist;
    if (sscanf(res, "D exist:%d", &exist) != 1)
        nabort("Bad rom_chek response:%s\n", res);
    if (exist == 0)
        nabort("No eeprom found on H8 board.\n");
    int size;
    if (sscanf(res, "D exist:%*d size:%d", &size) != 1)
        nabort("Bad rom_chek size response:%s\n", res);
    fprintf(stderr, "%d Kbit eeprom found.\n", size);
    return size;
}

// The room in column words: 64 words a Kbit, less 128. A size too large for
// an int of words is capped, so that the capacity check cannot wrap around.
static int rom_capacity(int size_kbit)
{
    long long words = static_cast<long long>(size_kbit) * 64 - 128;
    return words > INT_MAX ? INT_MAX : static_cast<int>(words);
}

static void rom_print_progress(const lcont_t *lcont, int pass, int total)
{
    if (pass == 0) {
        fprintf(stderr, "\rpass%d %6d lines found", 1, lcont->nol);
    } else {
        int percent = static_cast<int>(lcont->nol * 100.0 / total + 0.5);
        fprintf(stderr, "\rpass%d %6d/%6d %3d%% done", 2, lcont->nol, total, percent);
    }
}

// Feeds every text file through one display run.
static void rom_feed_files(lcont_t *lcont, int pass, int total)
{
    for (char **name = lcont->args; *name != nullptr; name++) {
        FILE *fp = fopen(*name, "r");
        if (fp == nullptr) {
            fprintf(stderr, "file \"%s\" not found.\n", *name);
            continue;
        }
        lt_reset_char(lcont);
        int c;
        while ((c = getc(fp)) != EOF) {
            lt_putc(lcont, c);
            if (f_v != 0)
                rom_print_progress(lcont, pass, total);
        }
        fclose(fp);
    }
}

void write_rom(lcont_t *lcont)
{
    int size = rom_check(lcont);
    int max_line = rom_capacity(size);
    int total = 0;
    // Both passes start from the same newline state, so that the writing
    // pass sends exactly the columns that the counting pass checked.
    int nl_at_start = lt_newline_state();
    for (int pass = 0; pass < 2; pass++) {
        lcont->no_out = pass == 0 ? 1 : 0;
        lt_set_newline_state(nl_at_start);
        lt_open(lcont);
        rom_feed_files(lcont, pass, total);
        lt_close(lcont);
        if (f_v != 0)
            fprintf(stderr, "\n");
        if (pass == 0) {
            total = lcont->nol;
            if (total > max_line)
                nabort("Too long text (%d lines), capacity is %d lines\n", total, max_line);
            if (total == 0)
                nabort("No data found.\n");
        }
    }
    if (f_v != 0)
        fprintf(stderr, "write_rom complete\n");
}
