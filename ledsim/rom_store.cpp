// The EEPROM file is text: a header line, the settings, the comment and
// the column words in hexadecimal, 16 a line.
#include "rom_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const char *rom_header = "ledsim-eeprom 1";

bool fail(std::string *err, const std::string &path, int line, const std::string &what)
{
    *err = "eeprom file \"" + path + "\" line " + std::to_string(line) + ": " + what;
    return false;
}

bool read_setting(std::istream &in, const std::string &key, int lo, int hi, int *value)
{
    std::string line;
    if (!std::getline(in, line) || line.compare(0, key.size() + 1, key + " ") != 0)
        return false;
    const char *num = line.c_str() + key.size() + 1;
    char *end = nullptr;
    errno = 0;
    long v = strtol(num, &end, 10);
    if (errno != 0 || end == num || *end != '\0' || v < lo || v > hi)
        return false;
    *value = (int)v;
    return true;
}

} // namespace

bool rom_store_load(const std::string &path, int capacity_words, RomContent *rom, std::string *err)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT)
            return true;
        *err = "eeprom file \"" + path + "\": " + strerror(errno);
        return false;
    }
    RomContent r;
    std::string line;
    if (!std::getline(in, line) || line != rom_header)
        return fail(err, path, 1, "not a ledsim eeprom file");
    if (!read_setting(in, "speed", 1, 255, &r.speed))
        return fail(err, path, 2, "expected \"speed N\"");
    if (!read_setting(in, "bright", 0, 10, &r.bright))
        return fail(err, path, 3, "expected \"bright N\"");
    if (!read_setting(in, "led_reverse", 0, 1, &r.led_reverse))
        return fail(err, path, 4, "expected \"led_reverse N\"");
    if (!std::getline(in, line) || line.compare(0, 8, "comment ") != 0)
        return fail(err, path, 5, "expected \"comment TEXT\"");
    r.comment = line.substr(8);
    int words = 0;
    if (!read_setting(in, "words", 0, 1 << 30, &words))
        return fail(err, path, 6, "expected \"words N\"");
    if (words > capacity_words)
        return fail(err, path, 6,
                    std::to_string(words) + " words do not fit into " + std::to_string(capacity_words));
    int lineno = 6;
    while ((int)r.data.size() < words && std::getline(in, line)) {
        lineno++;
        std::istringstream ws(line);
        std::string tok;
        while (ws >> tok) {
            char *end = nullptr;
            unsigned long v = strtoul(tok.c_str(), &end, 16);
            if (*end != '\0' || tok.size() > 4 || tok[0] == '-' || tok[0] == '+' || v > 0xffff)
                return fail(err, path, lineno, "bad column word \"" + tok + "\"");
            r.data.push_back((uint16_t)v);
        }
    }
    // Every line ends in a line feed: a file without one was cut short.
    if (words > 0 && in.eof())
        return fail(err, path, lineno, "the file is cut short");
    if (std::getline(in, line))
        return fail(err, path, lineno + 1, "unexpected text after the words");
    if ((int)r.data.size() != words)
        return fail(err, path, lineno, "expected " + std::to_string(words) + " words, found " +
                                           std::to_string(r.data.size()));
    *rom = r;
    return true;
}

bool rom_store_save(const std::string &path, const RomContent &rom, std::string *err)
{
    std::ostringstream out;
    out << rom_header << "\n"
        << "speed " << rom.speed << "\n"
        << "bright " << rom.bright << "\n"
        << "led_reverse " << rom.led_reverse << "\n"
        << "comment " << rom.comment << "\n"
        << "words " << rom.data.size() << "\n";
    char hex[8];
    for (size_t i = 0; i < rom.data.size(); i++) {
        snprintf(hex, sizeof hex, "%x", rom.data[i]);
        out << hex << ((i % 16 == 15 || i + 1 == rom.data.size()) ? "\n" : " ");
    }
    const std::string text = out.str();

    std::string tmp = path + ".tmp" + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? (size_t)n : 0;
    }
    ok = ok && fsync(fd) == 0;
    if (fd >= 0 && close(fd) != 0)
        ok = false;
    ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        *err = "eeprom file \"" + path + "\": " + strerror(errno);
        unlink(tmp.c_str());
    }
    return ok;
}
