// The context record of ledtick: every setting and the running state of
// the decoder and the display run.
#pragma once

#include "sio.h"

struct GuFont;

enum encoding_t {
    Enc_EUC = 0,
    Enc_SJIS = 1,
    Enc_UTF8 = 2, // our extension: UTF-8 input, converted to EUC-JP
};

struct lcont_t {
    int cmdline_message_mode; // -c: the operands are message words
    char **args;              // first operand; the list ends with a null entry
    sio_t scont;              // serial link
    int char0;                // decoder: pending lead byte, or 0x8E
    int no_out;               // count columns, send nothing
    int nol;                  // columns counted in this display run
    int buf_left;             // free columns the board last reported
    const char *font_dir;     // directory of the fonts, or null
    const char *font1_name;   // ANK font file
    const char *font2_name;   // Kanji font file
    GuFont *font1;            // ANK font object
    GuFont *font2;            // Kanji font object
    encoding_t encoding;      // input encoding
    int div;                  // scroll speed divider, 1 is the fastest
    int no_scroll;            // still picture instead of scrolling
    int b_stdin;              // text from standard input
    int b_loop;               // repeat the display run without end
    int b_rom_write;          // write the text into the EEPROM
    int b_no_rcfile;          // the run-control files are not read
    int b_vertical;           // Kanji glyphs in vertical mode
    int b_vertical_ank;       // ANK glyphs in vertical mode
    int b_led_reverse;        // the board's LED reverse setting
    int cmodule;              // LED modules in the chain
    int bright;               // LED brightness
    // UTF-8 input: the bytes of the sequence being assembled. Cleared
    // together with char0 (lt_reset_char).
    unsigned char utf8_seq[4];
    int utf8_len;             // bytes held in utf8_seq
    int utf8_need;            // length of the sequence its first byte announced
};

extern int f_v;              // global verbosity level
extern const char *ver_str;  // version text

void lcont_init(lcont_t *lcont);
void process_command_line(lcont_t *lcont, int argc, char **argv);
[[noreturn]] void printUsageAndExit();

// Run-control files.
void read_rcfiles(lcont_t *lcont);
int read_rcfile(lcont_t *lcont, const char *dir, const char *rcfile);
