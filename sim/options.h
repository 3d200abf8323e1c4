// The simulated sensor's options and their command line, shared by korva-sensor-sim and the
// program's in-process sensor (the port device "sim:<options>").
#pragma once

#include "faults.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korva::sim {

struct SensorOptions {
    static constexpr std::chrono::milliseconds kMaxLatency{10'000};   // largest --latency

    bool pacing = true;                      // answer at the pace of a 19200-baud line
    std::chrono::milliseconds latency{0};    // extra delay before each answer
    // A sensor slow on some orders: the answers to the order codes whose bits are set in
    // `lateOrders` (bit n for code n) come `lateBy` later still.
    std::uint16_t lateOrders = 0;
    std::chrono::milliseconds lateBy{0};
    Faults faults;
    std::string eepromFile;                  // keeps the EEPROM set across runs when not empty
    std::string linkPath;                    // symlink to the device when not empty
    std::uint64_t seed = 1;                  // seed of the video noise
    // A test mode: word 2 (the value shown) of each measurement record is the record's number,
    // 1, 2, 3, ... (counting on from 0 after 65535), so that a test can tell every record apart.
    bool numbered = false;
    // Writes a line on standard error for every command received ("order 7 received"), so that
    // someone at the other end of the line can see what reaches the sensor.
    bool verbose = false;
};

// What a command line asks for: the options, or the help text, or nothing and why.
struct ParsedOptions {
    SensorOptions options;
    bool help = false;    // --help came before anything wrong
    std::string error;    // why the command line is refused; empty when it is not
};

// Reads the options as korva-sensor-sim takes them: long options with their value in the next
// argument or after "=", an unambiguous beginning of an option's name for the whole name, "--"
// before arguments that are not options. Stops at --help; arguments that are not options are
// refused once every option has been read.
ParsedOptions parseOptions(const std::vector<std::string>& arguments);

// The arguments of an option text: the words between blanks (spaces and tabs).
std::vector<std::string> splitOptions(std::string_view text);

}  // namespace korva::sim
