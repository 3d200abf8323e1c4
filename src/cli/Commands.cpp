// The commands of korva-tb, on the program's link: each opens the port as the program opens it,
// holds the line while it talks to the sensor and closes the port (and its lock) at the end.
#include "cli/Cli.h"

#include "link/Com232.h"
#include "link/ParameterFile.h"
#include "link/RunProducts.h"
#include "rs232.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>

namespace korva::cli {

namespace {

// The link's texts: progress on standard error while it is a terminal and not --quiet; the last
// text kept for the outcome.
class ConsoleSink final : public Sink {
public:
    bool progress = false;
    bool recordingFailed = false;
    int found = 0;     // the port Find found
    std::string last;  // the last text shown

    void PortFound(int port) override { found = port; }
    void Status(const char* text) override
    {
        last = text;
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
    if (!o.device.empty())
        SetComDevice(o.port, o.device.c_str());
    com = o.port;
    const int opened = OpenSensorPort(com);
    if (opened == 0)
        return EXIT_DONE;
    std::fprintf(stderr, "korva-tb: %s: %s (%s)\n", ComDeviceName(com).c_str(), OpenErrorText(opened),
                 ComLastOpenError().c_str());
    return EXIT_PORT;
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

int Find(const Options& o)
{
    FindSensor();
    if (console.found == 0) {
        std::fprintf(stderr, "korva-tb: %s\n", console.last.c_str());  // "No sensor found on N ports"
        return EXIT_NO_ANSWER;
    }
    com = console.found;
    if (o.json)
        std::printf("{\"port\":%d,\"device\":\"%s\"}\n", com, ComDeviceName(com).c_str());
    else
        std::printf("COM%d %s\n", com, ComDeviceName(com).c_str());
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
    if (o.csv.empty())
        StartRecordingToOutput();
    else
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
        code = CannotWrite(o.csv);
    const RunStatistics& statistics = CurrentRunStatistics();
    const auto now = std::chrono::steady_clock::now();
    if (o.json)
        std::fprintf(stderr, "%s\n", statistics.Json(now).c_str());
    else if (!o.quiet)
        std::fprintf(stderr, "%s\n", statistics.Text(now).c_str());
    return code;
}

// ---- data ----

constexpr int BLOCK_BYTES = 2 * 128;

// One pass as the Data loop makes it: the curve's two halves, then one measurement exchange, whose
// record places a window's curve. The rows go to `rows`, x as the video graph draws it.
bool DataPass(long pass, std::string& rows)
{
    FlushQueues();
    for (const int half : {0, 1}) {
        ReadData128(128 * half, half);
        if (nBytesR < BLOCK_BYTES)
            return false;
    }
    if (!MeasureOnce())
        return false;
    for (int i = 0; i < CURVE_POINTS; ++i) {
        const int x = ccdMode == 0 ? 4 * i : pp[5] + i;
        rows += std::to_string(pass) + ',' + std::to_string(x) + ',' + std::to_string(adcbuf[i]) + ',' +
                std::to_string(vThd) + '\n';
    }
    return true;
}

// The rows' file (standard output without --csv), written with the program's calls for files
// written row by row: a FIFO or device is refused, every write whole or reported.
class DataFile {
public:
    explicit DataFile(const std::string& path)
    {
        bool notAFile = false;
        int error = 0;
        fd_ = path.empty() ? 1 : OpenRowFile(path, &notAFile, &error);
        ok_ = fd_ >= 0 && (path.empty() || CutRowFile(fd_, 0) == 0);
    }
    ~DataFile()
    {
        if (fd_ > 1)
            CloseRowFile(fd_);
    }
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    bool Write(const std::string& text)
    {
        int error = 0;
        ok_ = ok_ && WriteRowFile(fd_, text.data(), text.size(), &error) == text.size();
        return ok_;
    }
    // What was written is on the disk (a pipe or terminal has no disk).
    bool Finish()
    {
        const int error = SyncRowFile(fd_);
        return ok_ && (error == 0 || (fd_ == 1 && error == EINVAL));
    }

private:
    int fd_ = -1;
    bool ok_ = false;
};

int Data(const Options& o)
{
    if (!ReadParameters(RAM))
        return NoAnswer();
    DataFile file(o.csv);
    if (!file.Write("pass,x,video,threshold\n"))
        return CannotWrite(o.csv);
    const LoopHold loop;
    int code = EXIT_DONE;
    {
        const BlockLine blocks;
        std::string rows;
        for (long pass = 1; stop_flag == 0 && (o.passes < 0 || pass <= o.passes); ++pass) {
            rows.clear();
            if (!DataPass(pass, rows)) {
                std::fprintf(stderr, "korva-tb: %s\n", nBytesR < BLOCK_BYTES ? szStatus : "Timeout RS232-Line!");
                code = EXIT_NO_ANSWER;
                break;
            }
            if (!file.Write(rows))
                return CannotWrite(o.csv);
        }
    }
    if (!file.Finish())
        return CannotWrite(o.csv);
    return code;
}

int OnTheLine(const Options& o)
{
    const LineHold hold;
    if (o.command == "check")
        return Check(o);
    if (o.command == "get")
        return Get(o);
    if (o.command == "send")
        return Send(o);
    if (o.command == "teach")
        return Teach(o);
    if (o.command == "data")
        return Data(o);
    return Run(o);
}

}  // namespace

int CannotWrite(const std::string& path)
{
    std::fprintf(stderr, "korva-tb: Cannot write record file! (%s)\n", path.empty() ? "standard output" : path.c_str());
    return EXIT_FILE;
}

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

int RunCommand(const Options& o)
{
    InitRunTime(0, nullptr);
    console.progress = !o.quiet && ErrorOutputIsTerminal();
    SetSink(&console);
    OnQuitSignals(StopOnSignal, nullptr);
    if (o.command == "ports")
        return Ports(o);
    if (o.command == "find") {
        const LineHold hold;
        const int code = Find(o);
        CloseCom(com);
        return code;
    }
    int code = OpenPort(o);
    if (code == EXIT_DONE)
        code = OnTheLine(o);
    CloseCom(com);
    return code;
}

}  // namespace korva::cli
