// Fatal errors and memory for every module of ledtick.
#pragma once

#include <cstddef>

// Writes the formatted message and one line end to standard error and ends
// the process with status 1. Output streams are flushed by the normal exit.
[[noreturn]] void nabort(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// A new block of `size` bytes; never returns null (a failure is fatal).
void *ntMalloc(int size);
// A copy of `str` in a block from ntMalloc.
char *ntStringNew(const char *str);
// Releases a block from ntMalloc.
void ntFree(void *block);

// Reads a decimal int from the start of `str` the way a "%d" scan does:
// leading whitespace, an optional sign, at least one digit, and anything
// after the digits ignored. Returns 0 when there is no number or when it
// does not fit in an int, else 1 with the number in *value.
int ntScanInt(const char *str, int *value);
