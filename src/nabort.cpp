#include "nabort.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void nabort(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputc('\n', stderr);
    exit(1);
}

void *ntMalloc(int size)
{
    void *block = size >= 0 ? malloc(size > 0 ? static_cast<size_t>(size) : 1) : nullptr;
    if (block == nullptr)
        nabort("Memory allocation failed. size=%d byte\n", size);
    return block;
}

char *ntStringNew(const char *str)
{
    size_t len = strlen(str);
    if (len >= static_cast<size_t>(INT_MAX))
        nabort("Memory allocation failed. size=%d byte\n", -1);
    char *copy = static_cast<char *>(ntMalloc(static_cast<int>(len) + 1));
    memcpy(copy, str, len + 1);
    return copy;
}

void ntFree(void *block)
{
    free(block);
}

int ntScanInt(const char *str, int *value)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(str);
    while (isspace(*p))
        p++;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (!isdigit(*p))
        return 0;
    // Accumulate as a negative number so that INT_MIN fits too.
    long long n = 0;
    for (; isdigit(*p); p++) {
        n = n * 10 - (*p - '0');
        if (n < static_cast<long long>(INT_MIN) - 1)
            return 0;
    }
    if (!negative)
        n = -n;
    if (n < INT_MIN || n > INT_MAX)
        return 0;
    *value = static_cast<int>(n);
    return 1;
}
