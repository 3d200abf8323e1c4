// The command line of korva-tb: its options and its help.
#include "cli/Cli.h"

#include <charconv>
#include <cstring>
#include <map>
#include <set>

namespace korva::cli {

namespace {

constexpr int PORT_COUNT = 12;

// The options each command takes beside the common ones.
const std::map<std::string, std::set<std::string>> commandOptions = {
    {"ports", {"--json"}},
    {"find", {"--json"}},
    {"check", {}},
    {"send", {"--to", "--set"}},
    {"data", {"--passes", "--csv"}},
    {"get", {"--from", "--json", "--out"}},
    {"teach", {"--background"}},
    {"run", {"--records", "--seconds", "--csv", "--json"}},
};
const std::set<std::string> commonOptions = {"--port", "--device", "--quiet"};
// Options followed by a value.
const std::set<std::string> valued = {"--port",    "--device",  "--from", "--out", "--records",
                                      "--seconds", "--csv", "--passes", "--to",  "--set"};

bool WholeNumber(const std::string& text, long min, long max, long& value)
{
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && at == end && value >= min && value <= max;
}

bool Seconds(const std::string& text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && value > 0 && value <= 1e7;
}

// Takes one option and its value into `o`; false with `error` set for a bad value.
bool TakeOption(const std::string& name, const std::string& value, Options& o, std::string& error)
{
    long number = 0;
    if (name == "--port") {
        if (!WholeNumber(value, 1, PORT_COUNT, number))
            return error = "--port takes a port number from 1 to 12", false;
        o.port = static_cast<int>(number);
    } else if (name == "--device") {
        o.device = value;
    } else if (name == "--from") {
        if (value != "ram" && value != "eeprom")
            return error = "--from takes ram or eeprom", false;
        o.eeprom = value == "eeprom";
    } else if (name == "--out") {
        o.out = value;
    } else if (name == "--csv") {
        o.csv = value;
    } else if (name == "--to") {
        if (value != "ram" && value != "eeprom")
            return error = "--to takes ram or eeprom", false;
        o.to = value;
    } else if (name == "--set") {
        o.sets.push_back(value);
    } else if (name == "--passes") {
        if (!WholeNumber(value, 1, 1000000000, number))
            return error = "--passes takes a count from 1", false;
        o.passes = number;
    } else if (name == "--records") {
        if (!WholeNumber(value, 1, 1000000000, number))
            return error = "--records takes a count from 1", false;
        o.records = number;
    } else if (name == "--seconds") {
        if (!Seconds(value, o.seconds))
            return error = "--seconds takes a time in seconds above 0", false;
    } else if (name == "--quiet") {
        o.quiet = true;
    } else if (name == "--json") {
        o.json = true;
    } else if (name == "--background") {
        o.background = true;
    }
    return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options& o, std::string& error)
{
    if (argc < 1)
        return error = "no command given", false;
    o.command = argv[0];
    const auto known = commandOptions.find(o.command);
    if (known == commandOptions.end())
        return error = "unknown command " + o.command, false;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (o.command == "send" && !name.starts_with("--") && o.file.empty()) {
            o.file = name;  // the parameter file to send
            continue;
        }
        if (!known->second.contains(name) && !commonOptions.contains(name))
            return error = o.command + " takes no " + name, false;
        std::string value;
        if (valued.contains(name)) {
            if (i + 1 >= argc)
                return error = name + " needs a value", false;
            value = argv[++i];
        }
        if (!TakeOption(name, value, o, error))
            return false;
    }
    if (o.records > 0 && o.seconds > 0)
        return error = "run takes --records or --seconds, not both", false;
    if (o.command == "send" && o.to.empty())
        return error = "send needs --to ram or --to eeprom", false;
    return true;
}

std::string HelpText(const std::string& command)
{
    static const std::map<std::string, std::string> commands = {
        {"ports", "korva-tb ports [--json]\n"
                  "  The ports 1 to 12 as the program names them: device, present or absent, description, maker,\n"
                  "  USB ids.\n"},
        {"find", "korva-tb find [--json]\n"
                 "  Looks for the sensor on every present port, as Find does; prints the port it answered on,\n"
                 "  or exits 3.\n"},
        {"send", "korva-tb send --to ram|eeprom [FILE] [--set name=value ...]\n"
                 "  Sends a parameter file, or the sensor's RAM parameters changed by --set; every value is\n"
                 "  checked against the panels' ranges first (exit 1, nothing sent). Reads them back (exit 4\n"
                 "  when they differ) and prints what changed as name: old -> new.\n"},
        {"data", "korva-tb data [--passes N] [--csv FILE]\n"
                 "  The Data loop: each pass the video curve, 256 rows of pass,x,video,threshold, and one\n"
                 "  measurement; until N passes or SIGINT, SIGTERM or SIGHUP.\n"},
        {"check", "korva-tb check\n"
                  "  The line check: prints \"Line Ok!\", or the program's failure text and exits 3.\n"},
        {"get", "korva-tb get [--from ram|eeprom] [--json] [--out FILE]\n"
                "  Reads the sixteen parameters and prints them as name=value lines (or one JSON object);\n"
                "  --out also writes them to a parameter file in the program's format.\n"},
        {"teach", "korva-tb teach [--background]\n"
                  "  The set-point teach, or the background teach, then the parameters read back.\n"},
        {"run", "korva-tb run [--records N | --seconds S] [--csv FILE] [--json]\n"
                "  The continuous run: every measurement record a row as the record file has it, to FILE or\n"
                "  standard output, until N records, S seconds, or SIGINT, SIGTERM or SIGHUP; then the\n"
                "  statistics line on standard error (one JSON object with --json).\n"},
    };
    const auto one = commands.find(command);
    if (one != commands.end())
        return "Usage: " + one->second;
    std::string text = "Usage: korva-tb COMMAND [OPTIONS]   The KORVA-TB sensor from the command line.\n\nCommands:\n";
    for (const auto& [name, help] : commands)
        text += "  " + help;
    return text +
           "\nEvery command takes:\n"
           "  --port N       the port, 1 to 12, named as in KORVA-TB Scope (KORVA_COM<n> is honoured); default 1\n"
           "  --device PATH  the device of that port instead (sim: for the built-in simulated sensor)\n"
           "  --quiet        no progress on standard error (shown only when it is a terminal)\n"
           "\nExit codes:\n"
           "  0 done   1 usage or a bad value   2 the port cannot be opened\n"
           "  3 no answer from the sensor (line check failed, a time-out, none found)\n"
           "  4 a read-back differs   5 a file cannot be read or written\n"
           "\nSeveral sensors: one korva-tb per port.\n";
}

}  // namespace korva::cli
