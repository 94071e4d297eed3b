// ledtick: shows Shift JIS, EUC-JP or UTF-8 text on a scrolling LED sign.
// The driver: defaults, the command line, and the run modes.
#include "ledtick.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

#include "guFont.h"
#include "ltio.h"
#include "nabort.h"
#include "write_rom.h"

void lcont_init(lcont_t *lcont)
{
    lcont->cmdline_message_mode = 0;
    lcont->args = nullptr;
    sio_init(&lcont->scont);
    lcont->char0 = 0;
    lcont->no_out = 0;
    lcont->nol = 0;
    lcont->font_dir = nullptr;
    lcont->font1_name = "8x16rk.pcf";
    lcont->font2_name = "jiskan16.pcf";
    lcont->font1 = nullptr;
    lcont->font2 = nullptr;
    lcont->encoding = Enc_SJIS;
    lcont->buf_left = 16;
    lcont->div = 4;
    lcont->no_scroll = 0;
    lcont->b_stdin = 0;
    lcont->b_loop = 0;
    lcont->b_rom_write = 0;
    lcont->b_no_rcfile = 0;
    lcont->b_vertical = 0;
    lcont->b_vertical_ank = 0;
    lcont->b_led_reverse = 0;
    lcont->cmodule = 1;
    lcont->bright = 10;
    lcont->utf8_len = 0;
    lcont->utf8_need = 0;
}

static const char *usage[] = {
    "Usage1: ledtick [options] text_file ...",
    "Usage2: ledtick [options] -c message ...",
    "Usage3: ledtick [options] -s                # input from stdin",
    "Usage4: ledtick [options] -w text_file ...  # write into eeprom",
    "  options",
    "    -a ank_font       set ANK font file(pcf)",
    "    -b bright         set LED brightness (0-10)",
    "    -d speed          set scroll speed (1=fastest)",
    "    -e sjis|euc       input kanji code",
    "    -f rcfile         read rc file",
    "    -F fontdir        set font direcotry",
    "    -h                show this",
    "    -k kanji_font     set Kanji font file(pcf)",
    "    -l                loop message",
    "    -n                no scroll",
    "    -M number         set number of LED module",
    "    -q                quit mode",
    "    -Q                do not read rcfile ",
    "    -R                set LED reverse",
    "    -t tty            set tty device",
    "    -T 0|1|2          vertical mode (0:none 1:kanji 2:kanji+ank)",
    "    -v                verbose mode",
    "    -V                show version and exit",
    "",
    nullptr,
};

void printUsageAndExit()
{
    for (const char **line = usage; *line != nullptr; line++)
        fprintf(stderr, "%s\n", *line);
    exit(1);
}

static int option_number(const char *arg)
{
    int value;
    if (!ntScanInt(arg, &value))
        nabort("Bad number \"%s\"", arg);
    return value;
}

static encoding_t option_encoding(const char *arg)
{
    if (strcasecmp(arg, "sjis") == 0)
        return Enc_SJIS;
    if (strcasecmp(arg, "euc") == 0)
        return Enc_EUC;
    if (strcasecmp(arg, "utf8") == 0 || strcasecmp(arg, "utf-8") == 0)
        return Enc_UTF8;
    nabort("bad -e argment \"%s\", shoud be sjis or euc\n", arg);
}

static void option_vertical(lcont_t *lcont, const char *arg)
{
    if (strcmp(arg, "0") == 0) {
        lcont->b_vertical = 0;
        lcont->b_vertical_ank = 0;
    } else if (strcmp(arg, "1") == 0) {
        lcont->b_vertical = 1;
        lcont->b_vertical_ank = 0;
    } else if (strcmp(arg, "2") == 0) {
        lcont->b_vertical = 1;
        lcont->b_vertical_ank = 1;
    } else {
        nabort("vertical mode %s not defined. it should be 0|1|2", arg);
    }
}

void process_command_line(lcont_t *lcont, int argc, char **argv)
{
    int c;
    while ((c = getopt(argc, argv, "a:b:cd:e:f:F:hk:lM:nqQRst:T:vVw")) != -1) {
        switch (c) {
        case 'a': lcont->font1_name = optarg; break;
        case 'b': lcont->bright = option_number(optarg); break;
        case 'c': lcont->cmdline_message_mode = 1; break;
        case 'd': lcont->div = option_number(optarg); break;
        case 'e': lcont->encoding = option_encoding(optarg); break;
        case 'f':
            if (!read_rcfile(lcont, ".", optarg))
                nabort("%s not found", optarg);
            break;
        case 'F': lcont->font_dir = ntStringNew(optarg); break;
        case 'k': lcont->font2_name = optarg; break;
        case 'l': lcont->b_loop = 1; break;
        case 'M': lcont->cmodule = option_number(optarg); break;
        case 'n': lcont->no_scroll = 1; break;
        case 'q': f_v--; break;
        case 'Q': break; // taken before parsing: see main
        case 'R': lcont->b_led_reverse = 1; break;
        case 's': lcont->b_stdin = 1; break;
        case 't': lcont->scont.tty_name = optarg; break;
        case 'T': option_vertical(lcont, optarg); break;
        case 'v':
            f_v++;
            lcont->scont.f_v++;
            break;
        case 'V':
            printf("ledtick %s\n", ver_str);
            exit(0);
        case 'w': lcont->b_rom_write = 1; break;
        case 'h':
        default:
            printUsageAndExit();
        }
    }
    if (optind >= argc && !lcont->b_stdin)
        printUsageAndExit();
    lcont->args = argv + optind;
}

#ifndef LEDTICK_NO_MAIN
// Puts the board into the configured state. The module count and the
// reverse setting go with a line feed of their own before the carriage
// return that every command gets.
static void send_setup_commands(lcont_t *lcont)
{
    sio_cmd(&lcont->scont, "echo 0");
    sio_cmd(&lcont->scont, "set scmode_div %d", lcont->div);
    sio_cmd(&lcont->scont, "lm_bright %d", lcont->bright);
    sio_cmd(&lcont->scont, "set cmodule %d\n", lcont->cmodule);
    sio_cmd(&lcont->scont, "set led_reverse %d\n", lcont->b_led_reverse);
}

static void finish_display_run(lcont_t *lcont)
{
    lt_close(lcont);
    lt_wait_scroll_end(lcont);
}

// The operands are the words of one text, joined by one blank.
static void run_message_mode(lcont_t *lcont)
{
    do {
        lt_open(lcont);
        for (char **word = lcont->args; *word != nullptr; word++) {
            lt_puts(lcont, *word);
            if (word[1] != nullptr)
                lt_puts(lcont, " ");
        }
        finish_display_run(lcont);
    } while (lcont->b_loop);
}

// Without scrolling, reading stops once the picture is full; the rest of the
// input stays unread for the next repetition.
static void run_stdin_mode(lcont_t *lcont)
{
    do {
        lt_open(lcont);
        int c;
        while ((c = getc(stdin)) != EOF) {
            lt_putc(lcont, c);
            if (lcont->no_scroll && lcont->buf_left == 0)
                break;
        }
        finish_display_run(lcont);
    } while (lcont->b_loop);
}

// A file that does not open is reported and skipped. Without scrolling, each
// file stops once 15 free columns or fewer are left.
static void run_text_file_mode(lcont_t *lcont)
{
    do {
        lt_open(lcont);
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
                if (lcont->no_scroll && lcont->buf_left <= 15)
                    break;
            }
            fclose(fp);
        }
        finish_display_run(lcont);
    } while (lcont->b_loop);
}

int main(int argc, char **argv)
{
    lcont_t lcont;
    lcont_init(&lcont);
    if (argc > 1 && strcmp(argv[1], "-Q") == 0)
        lcont.b_no_rcfile = 1;
    if (!lcont.b_no_rcfile)
        read_rcfiles(&lcont);
    process_command_line(&lcont, argc, argv);
    if (f_v != 0)
        printf("ledtick %s\n", ver_str);

    lcont.font1 = guFontNew(lcont.font_dir, lcont.font1_name);
    lcont.font2 = guFontNew(lcont.font_dir, lcont.font2_name);
    sio_open(&lcont.scont);
    send_setup_commands(&lcont);
    if (lcont.cmdline_message_mode)
        run_message_mode(&lcont);
    else if (lcont.b_stdin)
        run_stdin_mode(&lcont);
    else if (lcont.b_rom_write)
        write_rom(&lcont);
    else
        run_text_file_mode(&lcont);
    sio_close(&lcont.scont);
    return 0;
}
#endif
