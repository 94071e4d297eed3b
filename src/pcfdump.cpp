// pcfdump FONT CODE...: prints the metrics and the picture of each glyph, for
// a user checking a font. Codes are hexadecimal, with or without 0x.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "guFont.h"
#include "nabort.h"

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: pcfdump FONT CODE...\n");
        return 1;
    }
    GuFont *font = guFontNew(nullptr, argv[1]);
    for (int i = 2; i < argc; i++) {
        char *end;
        errno = 0;
        unsigned long code = strtoul(argv[i], &end, 16);
        if (argv[i][0] == '\0' || argv[i][0] == '-' || *end != '\0' || errno != 0 || code > 0xffffffffUL)
            nabort("bad code \"%s\": give it in hexadecimal", argv[i]);
        guFontDump(font, static_cast<uint32>(code));
    }
    return 0;
}
