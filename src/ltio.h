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
