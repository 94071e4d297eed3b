// Run-control files: lines of name = value that set fields of the context.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

#include "ledtick.h"
#include "nabort.h"

namespace {

constexpr int kLineRoom = 256; // 255 bytes of a line and the terminator

// Only these six bytes are whitespace; bytes from 0x80 up are neither
// whitespace nor name characters, so a value may carry them.
bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_name_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

const char *skip_blanks(const char *p)
{
    while (*p != '\0' && is_blank(*p))
        p++;
    return p;
}

int get_integer(const char *str, const char *name, const char *rcfile, int line)
{
    int value;
    if (!ntScanInt(str, &value))
        nabort("%s:%d Bad %s value:\"%s\" found, it shoud be integer", rcfile, line, name, str);
    return value;
}

int get_boolean(const char *str, const char *name, const char *rcfile, int line)
{
    if (strcmp(str, "1") == 0 || strcasecmp(str, "true") == 0 || strcasecmp(str, "yes") == 0 ||
        strcasecmp(str, "on") == 0)
        return 1;
    if (strcmp(str, "0") == 0 || strcasecmp(str, "false") == 0 || strcasecmp(str, "no") == 0 ||
        strcasecmp(str, "off") == 0)
        return 0;
    nabort("%s:%d Bad %s value:\"%s\" found, it shoud be 0|1|on|off|true|false", rcfile, line, name, str);
}

encoding_t get_encoding(const char *str, const char *rcfile, int line)
{
    if (strcasecmp(str, "euc") == 0)
        return Enc_EUC;
    if (strcasecmp(str, "sjis") == 0 || strcasecmp(str, "shift_jis") == 0)
        return Enc_SJIS;
    if (strcasecmp(str, "utf8") == 0 || strcasecmp(str, "utf-8") == 0)
        return Enc_UTF8;
    nabort("%s:%d Unknown encoding value:\"%s\" found. it should be euc|sjis", rcfile, line, str);
}

void set_key(lcont_t *lcont, const char *name, const char *value, const char *path, int line)
{
    if (strcmp(name, "font_dir") == 0)
        lcont->font_dir = ntStringNew(value);
    else if (strcmp(name, "fonta") == 0)
        lcont->font1_name = ntStringNew(value);
    else if (strcmp(name, "fontk") == 0)
        lcont->font2_name = ntStringNew(value);
    else if (strcmp(name, "encoding") == 0)
        lcont->encoding = get_encoding(value, path, line);
    else if (strcmp(name, "speed") == 0)
        lcont->div = get_integer(value, name, path, line);
    else if (strcmp(name, "no_scroll") == 0)
        lcont->no_scroll = get_boolean(value, name, path, line);
    else if (strcmp(name, "loop") == 0)
        lcont->b_loop = get_boolean(value, name, path, line);
    else if (strcmp(name, "vertical") == 0)
        lcont->b_vertical = get_boolean(value, name, path, line);
    else if (strcmp(name, "vertical_ank") == 0)
        lcont->b_vertical_ank = get_boolean(value, name, path, line);
    else if (strcmp(name, "led_reverse") == 0)
        lcont->b_led_reverse = get_boolean(value, name, path, line);
    else if (strcmp(name, "cmodule") == 0)
        lcont->cmodule = get_integer(value, name, path, line);
    else if (strcmp(name, "bright") == 0)
        lcont->bright = get_integer(value, name, path, line);
    else if (strcmp(name, "tty") == 0)
        lcont->scont.tty_name = ntStringNew(value);
    else
        nabort("%s:%d Unknown parameter \"%s\" found.\n", path, line, name);
}

// One line (or 255-byte piece of a line): blank, comment, or name = value.
void parse_line(lcont_t *lcont, const char *text, const char *path, int line)
{
    const char *p = skip_blanks(text);
    if (*p == '\0' || *p == '#')
        return;

    char name[kLineRoom];
    size_t n = 0;
    while (is_name_char(*p))
        name[n++] = *p++;
    name[n] = '\0';

    p = skip_blanks(p);
    if (*p != '=')
        nabort("Syntax error at %s:%d %s\n", path, line, p);
    p = skip_blanks(p + 1);

    char value[kLineRoom];
    size_t v = 0;
    while (*p != '\0' && !is_blank(*p))
        value[v++] = *p++;
    value[v] = '\0';

    set_key(lcont, name, value, path, line);
}

char *join_path(const char *dir, const char *rcfile)
{
    if (dir == nullptr || rcfile[0] == '/')
        return ntStringNew(rcfile);
    size_t len = strlen(dir) + strlen(rcfile) + 2;
    char *path = static_cast<char *>(ntMalloc(static_cast<int>(len)));
    snprintf(path, len, "%s/%s", dir, rcfile);
    return path;
}

} // namespace

int read_rcfile(lcont_t *lcont, const char *dir, const char *rcfile)
{
    char *path = join_path(dir, rcfile);
    FILE *fp = fopen(path, "r");
    if (fp == nullptr) {
        if (f_v != 0)
            fprintf(stderr, "%s not exist\n", path);
        ntFree(path);
        return 0;
    }
    if (f_v != 0)
        fprintf(stderr, "read %s\n", path);

    char text[kLineRoom];
    int line = 0;
    while (fgets(text, sizeof text, fp) != nullptr)
        parse_line(lcont, text, path, ++line);

    fclose(fp);
    ntFree(path);
    return 1;
}

void read_rcfiles(lcont_t *lcont)
{
    const char *home = getenv("HOME");
    if (home != nullptr)
        read_rcfile(lcont, home, ".ledtickrc");
    char cwd[512];
    if (getcwd(cwd, sizeof cwd) != nullptr)
        read_rcfile(lcont, cwd, ".ledtickrc");
    else
        read_rcfile(lcont, ".", ".ledtickrc");
}
