// The fault table and its parser.
#include "faults.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool parse_count(const std::string &s, long max, long *v)
{
    if (s.empty() || s[0] < '0' || s[0] > '9')
        return false;
    char *end = nullptr;
    errno = 0;
    long n = strtol(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || n > max)
        return false;
    *v = n;
    return true;
}

bool apply_silent_after(Faults *f, const std::string &arg)
{
    return parse_count(arg, 1000000000L, &f->silent_after);
}

bool apply_delay(Faults *f, const std::string &arg)
{
    long ms;
    if (!parse_count(arg, 600000L, &ms))
        return false;
    f->delay_ms = (int)ms;
    return true;
}

bool apply_split(Faults *f, const std::string &)
{
    f->split = true;
    return true;
}

} // namespace

const FaultKind fault_table[] = {
    {"silent-after", "N", "stop answering after N commands", apply_silent_after},
    {"delay", "MS", "answer every command MS milliseconds late", apply_delay},
    {"split", nullptr, "send replies one byte at a time, 1 ms apart", apply_split},
};
const int fault_table_size = sizeof fault_table / sizeof fault_table[0];

bool fault_parse(Faults *faults, const std::string &value, std::string *err)
{
    size_t colon = value.find(':');
    std::string name = value.substr(0, colon);
    std::string arg = colon == std::string::npos ? "" : value.substr(colon + 1);
    for (int i = 0; i < fault_table_size; i++) {
        const FaultKind &k = fault_table[i];
        if (name != k.name)
            continue;
        bool has_arg = colon != std::string::npos;
        if ((k.arg != nullptr) != has_arg || !k.apply(faults, arg)) {
            *err = k.arg ? "fault \"" + value + "\": use " + k.name + ":" + k.arg
                         : "fault \"" + value + "\": use " + k.name + " without a value";
            return false;
        }
        return true;
    }
    *err = "unknown fault \"" + value + "\"";
    return false;
}

bool fault_swallows(const Faults &faults, long index)
{
    return faults.silent_after >= 0 && index > faults.silent_after;
}
