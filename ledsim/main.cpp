// ledsim: a stand-in for the LED controller board on a pseudo-terminal.
#include <getopt.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim.h"

namespace {

volatile sig_atomic_t stop_requested = 0;

void on_stop_signal(int)
{
    stop_requested = 1;
}

const char *usage_text =
    "Usage: ledsim [options]\n"
    "  A stand-in for the LED controller board on a pseudo-terminal.\n"
    "  --link PATH          make PATH a symlink to the board's port\n"
    "  --buffer N           column buffer, in words (default 256)\n"
    "  --module-width N     columns of one LED module (default 32)\n"
    "  --column-ms N        scroll step unit in ms; a column enters every\n"
    "                       scmode_div units (default 5)\n"
    "  --eeprom-kbit N      EEPROM size in Kbit, 0 for none (default 256)\n"
    "  --eeprom FILE        keep the EEPROM's content in FILE across runs\n"
    "  --log FILE           record commands and replies with times in ms\n"
    "  --columns FILE       write the column words received, one run a line\n"
    "  --baud N             pace the line at N bits per second (default: off)\n"
    "  --fault KIND         misbehave; KIND is one of:\n";

[[noreturn]] void usage(int status)
{
    FILE *out = status == 0 ? stdout : stderr;
    fputs(usage_text, out);
    for (int i = 0; i < fault_table_size; i++) {
        const FaultKind &k = fault_table[i];
        std::string name = std::string(k.name) + (k.arg ? std::string(":") + k.arg : "");
        fprintf(out, "                         %-16s %s\n", name.c_str(), k.help);
    }
    fputs("  --once               end when the first client has closed the port\n"
          "  --view               draw the sign live in this terminal\n"
          "  --png FILE           at the end, a picture of the last display run\n"
          "  --png-eeprom FILE    at the end, a picture of the EEPROM's content\n"
          "  --png-scale N        pixels per LED in the pictures (default 4)\n"
          "  --help               show this\n",
          out);
    exit(status);
}

int number_option(const char *option, const char *value, long lo, long hi)
{
    char *end = nullptr;
    errno = 0;
    long v = strtol(value, &end, 10);
    if (errno != 0 || end == value || *end != '\0' || v < lo || v > hi) {
        fprintf(stderr, "ledsim: --%s needs a number from %ld to %ld, not \"%s\"\n", option, lo, hi, value);
        exit(1);
    }
    return (int)v;
}

SimOptions parse_options(int argc, char **argv)
{
    enum { O_LINK = 1, O_BUFFER, O_MODULE_WIDTH, O_COLUMN_MS, O_EEPROM_KBIT, O_EEPROM, O_LOG,
           O_COLUMNS, O_BAUD, O_FAULT, O_ONCE, O_VIEW, O_PNG, O_PNG_EEPROM, O_PNG_SCALE, O_HELP };
    static const struct option longopts[] = {
        {"link", required_argument, nullptr, O_LINK},
        {"buffer", required_argument, nullptr, O_BUFFER},
        {"module-width", required_argument, nullptr, O_MODULE_WIDTH},
        {"column-ms", required_argument, nullptr, O_COLUMN_MS},
        {"eeprom-kbit", required_argument, nullptr, O_EEPROM_KBIT},
        {"eeprom", required_argument, nullptr, O_EEPROM},
        {"log", required_argument, nullptr, O_LOG},
        {"columns", required_argument, nullptr, O_COLUMNS},
        {"baud", required_argument, nullptr, O_BAUD},
        {"fault", required_argument, nullptr, O_FAULT},
        {"once", no_argument, nullptr, O_ONCE},
        {"view", no_argument, nullptr, O_VIEW},
        {"png", required_argument, nullptr, O_PNG},
        {"png-eeprom", required_argument, nullptr, O_PNG_EEPROM},
        {"png-scale", required_argument, nullptr, O_PNG_SCALE},
        {"help", no_argument, nullptr, O_HELP},
        {nullptr, 0, nullptr, 0},
    };
    SimOptions opt;
    int c;
    while ((c = getopt_long(argc, argv, "", longopts, nullptr)) != -1) {
        const char *name = c > 0 && c <= O_HELP ? longopts[c - 1].name : "";
        switch (c) {
        case O_LINK: opt.link_path = optarg; break;
        case O_BUFFER: opt.board.buffer_cols = number_option(name, optarg, 1, 1 << 20); break;
        case O_MODULE_WIDTH: opt.board.module_width = number_option(name, optarg, 1, 1024); break;
        case O_COLUMN_MS: opt.board.column_ms = number_option(name, optarg, 1, 10000); break;
        case O_EEPROM_KBIT: opt.board.eeprom_kbit = number_option(name, optarg, 0, 1 << 16); break;
        case O_EEPROM: opt.eeprom_path = optarg; break;
        case O_LOG: opt.log_path = optarg; break;
        case O_COLUMNS: opt.columns_path = optarg; break;
        case O_BAUD: opt.baud = number_option(name, optarg, 110, 4000000); break;
        case O_FAULT: {
            std::string err;
            if (!fault_parse(&opt.faults, optarg, &err)) {
                fprintf(stderr, "ledsim: %s\n", err.c_str());
                exit(1);
            }
            break;
        }
        case O_ONCE: opt.once = true; break;
        case O_VIEW: opt.view = true; break;
        case O_PNG: opt.png_path = optarg; break;
        case O_PNG_EEPROM: opt.png_eeprom_path = optarg; break;
        case O_PNG_SCALE: opt.png_scale = number_option(name, optarg, 1, 32); break;
        case O_HELP: usage(0);
        default: usage(1);
        }
    }
    if (optind < argc) {
        fprintf(stderr, "ledsim: unexpected argument \"%s\"\n", argv[optind]);
        usage(1);
    }
    return opt;
}

} // namespace

int main(int argc, char **argv)
{
    SimOptions opt = parse_options(argc, argv);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return sim_run(opt, &stop_requested);
}
