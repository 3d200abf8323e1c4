// korva-tb send: a parameter set to the sensor's RAM or EEPROM, checked against the panels' ranges
// before anything goes out, and read back.
#include "cli/Cli.h"

#include "link/Com232.h"
#include "link/ParameterFile.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

namespace korva::cli {

namespace {

int IndexOf(const std::string& name)
{
    for (int i = 0; i < PNUM; ++i)
        if (name == PARAMETER_NAMES[i])
            return i;
    return -1;
}

bool InRange(int index, long value)
{
    return value >= 0 && value <= PARAMETER_MAX[index];
}

int OutOfRange(int index, const std::string& value)
{
    std::fprintf(stderr, "korva-tb: %s: %s is out of its range 0 to %u; nothing sent\n", PARAMETER_NAMES[index],
                 value.c_str(), unsigned{PARAMETER_MAX[index]});
    return EXIT_USAGE;
}

// Applies the --set changes to `words`: every name known and every value in range, or nothing.
int ApplySets(const Options& o, uint16_t* words)
{
    for (const std::string& set : o.sets) {
        const auto equals = set.find('=');
        const int index = IndexOf(set.substr(0, equals));
        if (equals == std::string::npos || index < 0) {
            std::fprintf(stderr, "korva-tb: --set takes name=value with a parameter's name (power ... para15): %s\n",
                         set.c_str());
            return EXIT_USAGE;
        }
        const std::string text = set.substr(equals + 1);
        long value = -1;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size() || !InRange(index, value))
            return OutOfRange(index, text);
        words[index] = static_cast<uint16_t>(value);
    }
    return EXIT_DONE;
}

// The file's parameters, refused as the program refuses a file, and every value in range.
int ReadFile(const Options& o, uint16_t* words)
{
    if (!ReadParameterFile(o.file, words)) {
        std::fprintf(stderr, "korva-tb: Cannot read parameter file! (%s)\n", o.file.c_str());
        return EXIT_FILE;
    }
    for (int i = 0; i < PNUM; ++i)
        if (!InRange(i, words[i]))
            return OutOfRange(i, std::to_string(words[i]));
    return EXIT_DONE;
}

void PrintChanges(const uint16_t* before, const uint16_t* after)
{
    for (int i = 0; i < PNUM; ++i)
        if (before[i] != after[i])
            std::printf("%s: %u -> %u\n", PARAMETER_NAMES[i], unsigned{before[i]}, unsigned{after[i]});
}

}  // namespace

// What is sent: the file, else the sensor's RAM set; then the --set changes, every one checked
// before the sensor is asked anything. The changes printed are told against what the target held.
int Send(const Options& o)
{
    const bool eeprom = o.to == "eeprom";
    uint16_t sent[PNUM] = {};
    if (!o.file.empty())
        if (const int code = ReadFile(o, sent); code != EXIT_DONE)
            return code;
    if (uint16_t checked[PNUM]; ApplySets(o, checked) != EXIT_DONE)
        return EXIT_USAGE;
    if (!ReadParameters(RAM))
        return NoAnswer();
    if (o.file.empty())
        PackVariables(sent);
    ApplySets(o, sent);
    if (eeprom && !ReadParameters(EEPROM))
        return NoAnswer();
    uint16_t before[PNUM];
    PackVariables(before);
    UnpackVariables(sent);
    if (Ask(eeprom ? ORDER_SEND_EEPROM : ORDER_SEND_RAM, Flush::None) != FRAMELEN) {
        std::fprintf(stderr, "korva-tb: the parameters did not reach the port\n");
        return EXIT_NO_ANSWER;
    }
    if (!ReadParameters(eeprom ? EEPROM : RAM))
        return NoAnswer();
    uint16_t readBack[PNUM];
    PackVariables(readBack);
    PrintChanges(before, readBack);
    if (std::equal(sent, sent + PNUM, readBack))
        return EXIT_DONE;
    std::fprintf(stderr, "korva-tb: the sensor's parameters differ from those sent:\n");
    for (int i = 0; i < PNUM; ++i)
        if (sent[i] != readBack[i])
            std::fprintf(stderr, "  %s: sent %u, read back %u\n", PARAMETER_NAMES[i], unsigned{sent[i]},
                         unsigned{readBack[i]});
    return EXIT_DIFFERS;
}

}  // namespace korva::cli
