// Display output: decoding the text, glyph column words, and the display
// run with its flow control.
#pragma once

#include <cstdint>

#include "guFont.h"
#include "ledtick.h"

// Character decoding.
void lt_putc(lcont_t *lcont, int c);
void lt_puts(lcont_t *lcont, const char *str);
void sjis2euc(int c1, int c2, int *pE1, int *pE2);

// Drops a character whose bytes are not all in yet (the pending lead byte
// and a partial UTF-8 sequence). Callers do it before each text file.
void lt_reset_char(lcont_t *lcont);

// The newline flag of lt_putc is process-wide; the EEPROM writer saves it
// before its counting pass and restores it for the writing pass.
int lt_newline_state();
void lt_set_newline_state(int nl);

// Where lt_putc sends each complete character: lt_putchar, unless a test
// puts a recorder in its place.
extern void (*lt_putchar_sink)(lcont_t *lcont, GuFont *font, int c, int bVert);

// The code that lt_putc asks the Kanji font for when a character cannot be
// drawn (no JIS X 0208 form, malformed UTF-8): it lies outside every
// font's encoding table, so the font gives its default character.
const int lt_default_char_code = 0xFFFF00;

// Glyph column words: one word per glyph column (normal) or per glyph row
// (vertical). Each returns the number of words written to buf.
int lt_get_glyph_bitmap(const GuGlyph *glyph, uint16_t *buf, int buflen);
int lt_get_glyph_bitmap_vertical(const GuGlyph *glyph, uint16_t *buf, int buflen);

// Display run.
void lt_open(lcont_t *lcont);
void lt_putchar(lcont_t *lcont, GuFont *font, int c, int bVert);
void lt_waitH8(lcont_t *lcont, int length);
void lt_close(lcont_t *lcont);
void lt_wait_scroll_end(lcont_t *lcont);
