// korva-tb: the sensor from the command line, on the program's own link, exchange unit, parameter
// file and record file, without panels and without Qt Widgets.
#pragma once

#include <string>
#include <vector>

namespace korva::cli {

// Exit codes, as --help and the man page list them.
enum Exit : int {
    EXIT_DONE = 0,
    EXIT_USAGE = 1,      // usage or a bad value
    EXIT_PORT = 2,       // the port cannot be opened
    EXIT_NO_ANSWER = 3,  // no answer from the sensor: line check failed, a time-out, none found
    EXIT_DIFFERS = 4,    // a read-back differs from what was sent
    EXIT_FILE = 5,       // a file cannot be read or written
};

// What the command line asked for.
struct Options {
    std::string command;
    int port = 1;
    std::string device;  // --device: the device of port `port` (KORVA_COM<port>)
    bool quiet = false;
    bool json = false;
    bool background = false;  // teach --background
    bool eeprom = false;      // get --from eeprom
    std::string out;          // get --out FILE
    std::string csv;          // run --csv FILE
    long records = -1;        // run --records N
    double seconds = -1;      // run --seconds S
    long passes = -1;         // data --passes N
    std::string to;           // send --to ram|eeprom
    std::string file;         // send FILE
    std::vector<std::string> sets;  // send --set name=value
};

// Parses the arguments (without the program's name); false with `error` set for a bad command line.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);
// The help text of the program, or of one command.
std::string HelpText(const std::string& command);

// Runs the command. Returns its exit code.
int RunCommand(const Options& options);

// ---- within korva-tb ----

// Prints the status line's last text as the failure and returns EXIT_NO_ANSWER.
int NoAnswer();
// Says that `path` (standard output when empty) cannot be written and returns EXIT_FILE.
int CannotWrite(const std::string& path);
// Prints the parameter variables as name=value lines, or one JSON object.
void PrintParameters(bool json);
int Send(const Options& options);

}  // namespace korva::cli
