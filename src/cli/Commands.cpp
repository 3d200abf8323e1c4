// The commands of korva-tb, on the program's link: each opens the port as the program opens it,
// holds the line while it talks to the sensor and closes the port (and its lock) at the end.
#include "cli/Cli.h"

#include "link/Com232.h"
#include "link/ParameterFile.h"
#include "link/RunProducts.h"
#include "rs232.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace korva::cli {

namespace {

// The link's texts: progress on standard error while it is a terminal and not --quiet; the last
// text kept for the outcome.
class ConsoleSink final : public Sink {
public:
    bool progress = false;
    bool recordingFailed = false;

    void Status(const char* text) override
    {
        if (progress)
            std::fprintf(stderr, "%s\n", text);
    }
    void RecordingStopped(const std::string& why) override
    {
        recordingFailed = true;
        std::fprintf(stderr, "korva-tb: %s\n", why.c_str());
    }
};

ConsoleSink console;

// SIGINT, SIGTERM and SIGHUP end a run after its exchange under way, as Stop does.
void StopOnSignal(void*)
{
    StopLoops(LoopEnd::Close);
}

// Opens the port the options name, as the program opens it (its lock included).
int OpenPort(const Options& o)
{
    if (!o.device.empty()) {
        const std::string variable = "KORVA_COM" + std::to_string(o.port);
#ifdef _WIN32
        _putenv_s(variable.c_str(), o.device.c_str());
#else
        setenv(variable.c_str(), o.device.c_str(), 1);
#endif
    }
    com = o.port;
    const int opened = OpenSensorPort(com);
    if (opened == 0)
        return EXIT_DONE;
    std::fprintf(stderr, "korva-tb: %s: %s (%s)\n", ComDeviceName(com).c_str(), OpenErrorText(opened),
                 ComLastOpenError().c_str());
    return EXIT_PORT;
}

// The outcome the link left on the status line, as a failure.
int NoAnswer()
{
    std::fprintf(stderr, "korva-tb: %s\n", szStatus);
    return EXIT_NO_ANSWER;
}

void PrintParameters(bool json)
{
    uint16_t words[PNUM];
    PackVariables(words);
    if (!json) {
        for (int i = 0; i < PNUM; ++i)
            std::printf("%s=%u\n", PARAMETER_NAMES[i], words[i]);
        return;
    }
    for (int i = 0; i < PNUM; ++i)
        std::printf("%s\"%s\":%u", i == 0 ? "{" : ",", PARAMETER_NAMES[i], words[i]);
    std::printf("}\n");
}

// ---- the commands --------------------------------------------------------------------------------

int Ports(const Options& o)
{
    for (int port = 1; port <= COM_PORT_COUNT; ++port) {
        const ComPortDetails d = ComPortInfo(port);
        if (o.json)
            std::printf("%s{\"port\":%d,\"device\":\"%s\",\"present\":%s,\"description\":\"%s\",\"maker\":\"%s\","
                        "\"usb\":\"%s\"}",
                        port == 1 ? "[" : ",", port, d.device.c_str(), d.present ? "true" : "false",
                        d.description.c_str(), d.manufacturer.c_str(), d.usbId.c_str());
        else
            std::printf("%s\n", ComPortLabel(port).c_str());
    }
    if (o.json)
        std::printf("]\n");
    return EXIT_DONE;
}

int Check(const Options&)
{
    if (CheckComLine(com) != 1)
        return NoAnswer();
    std::printf("Line Ok!\n");
    return EXIT_DONE;
}

int Get(const Options& o)
{
    if (!ReadParameters(o.eeprom ? EEPROM : RAM))
        return NoAnswer();
    PrintParameters(o.json);
    if (o.out.empty())
        return EXIT_DONE;
    uint16_t words[PNUM];
    PackVariables(words);
    if (WriteParameterFile(o.out, words))
        return EXIT_DONE;
    std::fprintf(stderr, "korva-tb: Cannot write parameter file! (%s)\n", o.out.c_str());
    return EXIT_FILE;
}

// The background teach sends the parameters it is given: the sensor's own, read first.
int Teach(const Options& o)
{
    if (o.background && !ReadParameters(RAM))
        return NoAnswer();
    const bool taught = o.background ? TeachBackground() : TeachSetPoint();
    if (!taught || !ReadParameters(RAM))
        return NoAnswer();
    std::printf("%s\ntVal=%u\n", o.background ? "Teach order echo received! - Line Ok!" : "New setpoint value teached!",
                tVal);
    return EXIT_DONE;
}

bool RunGoesOn(const Options& o, long records, std::chrono::steady_clock::time_point end)
{
    if (stop_flag != 0 || console.recordingFailed)
        return false;
    if (o.records > 0)
        return records < o.records;
    return o.seconds <= 0 || std::chrono::steady_clock::now() < end;
}

// One measurement order after another, each answer fed to the record file and the statistics by
// the link; the parameters as the sensor has them.
int Run(const Options& o)
{
    if (!ReadParameters(RAM))
        return NoAnswer();
    const LoopHold loop;
    StartRunProducts();
    if (!o.csv.empty())
        StartRecording(o.csv);
    int code = EXIT_DONE;
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(o.seconds));
    for (long records = 0; RunGoesOn(o, records, end); ++records) {
        Ask(ORDER_MEASURE, Flush::InThenOut);
        if (!AwaitAnswer(WaitCheck::LimitFirst)) {
            NoteRunTimeout();
            std::fprintf(stderr, "korva-tb: Timeout RS232-Line!\n");
            code = EXIT_NO_ANSWER;
            break;
        }
    }
    EndRunProducts();
    StopRecording();
    if (console.recordingFailed)
        code = EXIT_FILE;
    if (!o.quiet)
        std::fprintf(stderr, "%s\n", RunStatisticsText(std::chrono::steady_clock::now()).c_str());
    return code;
}

int OnTheLine(const Options& o)
{
    const LineHold hold;
    if (o.command == "check")
        return Check(o);
    if (o.command == "get")
        return Get(o);
    if (o.command == "teach")
        return Teach(o);
    return Run(o);
}

}  // namespace

int RunCommand(const Options& o)
{
    InitRunTime(0, nullptr);
    console.progress = !o.quiet && isatty(2) != 0;
    SetSink(&console);
    OnQuitSignals(StopOnSignal, nullptr);
    if (o.command == "ports")
        return Ports(o);
    int code = OpenPort(o);
    if (code == EXIT_DONE)
        code = OnTheLine(o);
    CloseCom(com);
    return code;
}

}  // namespace korva::cli
