// Time of one "sc_data" exchange with 16 column words against ledsim
// without pacing: the command exchange as built (waiting on the port)
// next to the same module built with a plain 10 ms sleep in each pause.
//
//     cmake --build build --target bench_sio
//
// Built twice from this file; the sleeping build is run by the other one
// with --median-us and only prints its median in microseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ledsim_harness.h"
#include "sio.h"

namespace {

const int exchanges = 200;

double median_exchange_us()
{
    testutil::LedSim sim({"--buffer", "65536"});
    sio_t link;
    sio_init(&link);
    link.tty_name = sim.link().c_str();
    sio_open(&link);
    sio_cmd(&link, "echo 0");
    sio_cmd(&link, "sc_clear");
    sio_cmd(&link, "sc_scroll");
    std::string cmd = "sc_data";
    for (int i = 0; i < 16; i++) { // four hex digits a word, the longest glyph command
        char word[8];
        snprintf(word, sizeof word, " %x", 0x8000 + i * 0x111);
        cmd += word;
    }

    std::vector<double> us;
    for (int i = 0; i < exchanges; i++) {
        auto t0 = std::chrono::steady_clock::now();
        const char *r = sio_cmd(&link, "%s", cmd.c_str());
        auto t1 = std::chrono::steady_clock::now();
        if (strncmp(r, "D ", 2) != 0) {
            fprintf(stderr, "bench: unexpected reply \"%s\"\n", r);
            exit(1);
        }
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    sio_close(&link);
    sim.stop();
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && strcmp(argv[1], "--median-us") == 0) {
        printf("%.1f\n", median_exchange_us());
        return 0;
    }
#ifdef BENCH_SLEEP_BIN
    double waiting = median_exchange_us();
    FILE *p = popen(BENCH_SLEEP_BIN " --median-us", "r");
    double sleeping = 0;
    if (p == nullptr || fscanf(p, "%lf", &sleeping) != 1 || pclose(p) != 0 || sleeping <= 0) {
        fprintf(stderr, "bench: the sleeping build did not report\n");
        return 1;
    }
    printf("one \"sc_data\" exchange with 16 words against ledsim, median of %d:\n", exchanges);
    printf("  waiting on the port (poll, at most 10 ms): %9.3f ms\n", waiting / 1000);
    printf("  plain 10 ms sleep:                         %9.3f ms\n", sleeping / 1000);
    printf("  ratio sleep / poll:                        %9.1f\n", sleeping / waiting);
    return 0;
#else
    (void)argv;
    printf("%.1f us median\n", median_exchange_us());
    return 0;
#endif
}
