// korva-sensor-sim: a simulated KORVA-TB sensor on a pseudo-terminal.

#include "options.h"
#include "ptysensor.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <pthread.h>
#include <string>
#include <vector>

namespace korva::sim {

namespace {

constexpr const char* kUsage = R"(Usage: korva-sensor-sim [options]

Simulates a KORVA-TB optical line sensor on a pseudo-terminal. The first line
printed on standard output is the device to open (for example /dev/pts/7);
point KORVA-TB Scope or any serial program at it (19200 baud, 8N1). The sensor
answers the full command set: parameters in RAM and EEPROM, line check,
measurement records, set-point and background teach, and the 256-point video
curve of a CCD line on which a dark object moves slowly back and forth.
Runs until interrupted (Ctrl+C, SIGTERM or SIGHUP).

Options:
  --link PATH       also make PATH a symlink to the device (an existing link is
                    replaced; the link is removed on exit)
  --eeprom FILE     keep the EEPROM parameter set in FILE (sixteen numbers, one
                    per line) across runs; RAM starts as a copy of it
  --seed N          seed of the video noise (0 to 4294967295, default 1)
  --no-pacing       answer at once instead of at the pace of a 19200-baud line
  --latency MS      wait MS milliseconds more before each answer (0 to 10000)
  --answer-late CODES=MS
                    answer the orders with these codes (1 to 15, separated by
                    commas) MS milliseconds later still, e.g. 5=800: a slow teach
  --verbose         write a line on standard error for every command received
  --numbered        a test mode: word 2 (the value) of each measurement record is
                    its number, 1, 2, 3, ...
Faults, to try the program's error handling:
  --silent          never answer
  --wrong-echo      answer the line check with 0xAA00 instead of 0x00AA
  --truncate N      cut every answer to N bytes (0 to 255)
  --extra N         append N junk bytes (0xA5) to every answer (0 to 4096)
  --drop-every N    ignore every N-th command (1 to 1000000; 0: none)
  --help            show this text
)";

// The signals that end the program are blocked before the serving thread starts, so that
// only sigwait below receives them.
sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

int serve(const SensorOptions& options)
{
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    PtySensor sensor(options);
    sensor.start();
    std::printf("%s\n", sensor.devicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "korva-sensor-sim: serving on %s%s%s, %s; Ctrl+C ends\n", sensor.devicePath().c_str(),
                 options.linkPath.empty() ? "" : " linked from ", options.linkPath.c_str(),
                 options.pacing ? "paced at 19200 baud" : "no pacing");
    int received = 0;
    sigwait(&signals, &received);
    sensor.stop();
    return 0;
}

}  // namespace

}  // namespace korva::sim

int main(int argc, char** argv)
{
    using namespace korva::sim;
    const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "korva-sensor-sim: %s\nTry korva-sensor-sim --help\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        return serve(parsed.options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korva-sensor-sim: %s\n", e.what());
        return 1;
    }
}
