// korva-bench: measures the continuous run and the data loop against the simulated sensor, and soaks
// them (--soak): a long Run, a pulled cable, a reconnect through the COM-port ring, a long Data loop.
//
// The program's modules run in this process on the offscreen platform, exactly as in the program;
// the simulated sensor serves a real pseudo-terminal from a thread of its own. CPU figures of the
// rate measurement are those of the user-interface thread, where everything of the program runs, so
// the simulator's own work is not counted; the soak also gives the whole process's.
#include "KorvaTBScope11Xe.h"
#include "app/App.h"
#include "shell/Shell.h"
#include "gui/Gui.h"
#include "link/Com232.h"
#include "inspect.h"
#include "rs232.h"
#include "userint.h"

#include "ptysensor.h"
#include "support/StartProgram.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace korva;

namespace {

// 19200 baud, 8N1: ten bits a byte.
constexpr double BYTES_PER_SECOND = 19200.0 / 10.0;
constexpr double RUN_BYTES = 2.0 * FRAMELEN;  // command and answer frame
// Two block requests and two blocks of half the curve's points in words, one measurement exchange.
constexpr double DATA_BYTES = 4.0 * FRAMELEN + 2.0 * CURVE_POINTS;

double Seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// The CPU of the calling thread, with the part spent in the kernel, and how often it went to sleep
// and woke again: each wake-up costs CPU in the kernel besides the program's own work.
struct ThreadUsage {
    double cpu = 0;     // s
    double kernel = 0;  // s
    long wakeUps = 0;   // voluntary context switches

    static ThreadUsage Now()
    {
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        return {Seconds(usage.ru_utime) + Seconds(usage.ru_stime), Seconds(usage.ru_stime), usage.ru_nvcsw};
    }

    ThreadUsage operator-(const ThreadUsage& o) const { return {cpu - o.cpu, kernel - o.kernel, wakeUps - o.wakeUps}; }
};

struct Result {
    const char* name;
    double perSecond;
    double lineLimit;  // 0: not limited by the line
    double cpuPerItem;
    double kernelPerItem;
    double wakeUpsPerItem;
    double cpuShare;
    double repaintsPerSecond;
};

void Reconnect(const std::string& port)
{
    CloseCom(com);
    qputenv("KORVA_COM1", QByteArray::fromStdString(port));
    InitRS232(com);
}

// Watches the sensor's count of measurement orders and notes when it first and last grew, so
// the rate is taken between whole exchanges (or passes), free of the start and the stop. It samples
// every millisecond on a thread of its own: a timer in the user-interface thread would wake that
// thread a thousand times a second, and the wake-ups would count as the program's CPU.
class OrderClock {
public:
    explicit OrderClock(const sim::PtySensor& sensor) : m_sensor(sensor), m_start(sensor.commandsReceived(ORDER_MEASURE))
    {
        m_clock.start();
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                Sample();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }

    ~OrderClock() { Stop(); }

    void Stop()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }

    double PerSecond() const
    {
        return m_lastAt > m_firstAt ? static_cast<double>(m_last - m_first) / (m_lastAt - m_firstAt) : 0.0;
    }

    uint64_t Count() const { return m_last > 0 ? m_last - m_start : 0; }

private:
    void Sample()
    {
        const uint64_t count = m_sensor.commandsReceived(ORDER_MEASURE);
        if (count == m_last)
            return;
        const double now = static_cast<double>(m_clock.nsecsElapsed()) / 1e9;
        if (m_last == 0) {
            m_first = count;
            m_firstAt = now;
        }
        m_last = count;
        m_lastAt = now;
    }

    const sim::PtySensor& m_sensor;
    const uint64_t m_start;
    QElapsedTimer m_clock;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    uint64_t m_first = 0, m_last = 0;
    double m_firstAt = 0, m_lastAt = 0;
};

// Presses `button`, lets the command run for `seconds`, presses Stop and waits for its end. Each
// measurement order the sensor receives is one record drawn (or one data pass).
Result Measure(const char* name, int button, double seconds, const sim::PtySensor& sensor, double lineBytes,
               bool paced)
{
    // The answer to the last order of the command before may still be on its way: it comes and
    // goes first, so that it is not taken for the first answer of this command.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        ProcessSystemEvents();
    const long repaintsBefore = GetGraphRepaintCount(panelHandle, PANEL_GRAPHRAW);
    OrderClock orders(sensor);
    QElapsedTimer clock;
    ThreadUsage start;
    double wall = 0;
    ThreadUsage used;
    QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
        wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        used = ThreadUsage::Now() - start;
        orders.Stop();
        QTest::mouseClick(CtrlWidget(panelHandle, PANEL_BTNSTOP), Qt::LeftButton);
    });
    clock.start();
    start = ThreadUsage::Now();
    QTest::mouseClick(CtrlWidget(panelHandle, button), Qt::LeftButton);
    while (wall == 0 || stop_flag == 0)
        ProcessSystemEvents();
    const long repaints = GetGraphRepaintCount(panelHandle, PANEL_GRAPHRAW) - repaintsBefore;
    const double items = static_cast<double>(orders.Count());
    return {name,
            orders.PerSecond(),
            paced ? BYTES_PER_SECOND / lineBytes : 0.0,
            items > 0 ? used.cpu / items : 0.0,
            items > 0 ? used.kernel / items : 0.0,
            items > 0 ? static_cast<double>(used.wakeUps) / items : 0.0,
            used.cpu / wall,
            static_cast<double>(repaints) / wall};
}

std::unique_ptr<sim::PtySensor> StartSensor(bool paced)
{
    sim::SensorOptions options;
    options.pacing = paced;
    auto sensor = std::make_unique<sim::PtySensor>(options);
    sensor->start();
    return sensor;
}

void Print(const Result& r)
{
    std::printf("%-22s %10.1f /s", r.name, r.perSecond);
    if (r.lineLimit > 0)
        std::printf("  %8.2f /s  %6.1f %%", r.lineLimit, 100.0 * r.perSecond / r.lineLimit);
    else
        std::printf("  %8s     %6s  ", "-", "-");
    std::printf("  %9.1f us  %9.1f us  %7.1f  %6.1f %%  %7.1f /s\n", r.cpuPerItem * 1e6, r.kernelPerItem * 1e6,
                r.wakeUpsPerItem, 100.0 * r.cpuShare, r.repaintsPerSecond);
}

bool LessCpuPerItem(const Result& a, const Result& b)
{
    return a.cpuPerItem < b.cpuPerItem;
}

// The run with the median CPU per item (the lower one of an even count).
Result MedianRun(std::vector<Result> runs)
{
    std::sort(runs.begin(), runs.end(), LessCpuPerItem);
    return runs[(runs.size() - 1) / 2];
}

void PrintSpread(const std::vector<Result>& runs)
{
    const auto [best, worst] = std::minmax_element(runs.begin(), runs.end(), LessCpuPerItem);
    std::printf("%-22s best %9.1f us, median %9.1f us, worst %9.1f us\n", runs.front().name, best->cpuPerItem * 1e6,
                MedianRun(runs).cpuPerItem * 1e6, worst->cpuPerItem * 1e6);
}

double OptionValue(int argc, char** argv, const char* option, double fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], option) == 0)
            return std::atof(argv[i + 1]);
    return fallback;
}

// ---- soak -------------------------------------------------------------------------------------------

// The program's measurement exchanges, counted where they pass: orders written to the port, answer
// frames read from it, records drawn on the raw graph.
struct Records {
    long requested = 0;
    long answered = 0;
    long drawn = 0;

    Records operator-(const Records& o) const
    {
        return {requested - o.requested, answered - o.answered, drawn - o.drawn};
    }
};

// Orders written and answers read so far.
Records exchanged;

bool IsMeasureFrame(const char* bytes, int count)
{
    return count == FRAMELEN && bytes[0] == 0 && bytes[1] == SYNC_WORD && bytes[2] == 0 && bytes[3] == ORDER_MEASURE;
}

// The serial ports' tap (inspect.h): every ComWrt and ComRd of the program passes here.
void CountExchanges(int, bool written, const char* bytes, int count)
{
    if (IsMeasureFrame(bytes, count))
        ++(written ? exchanged.requested : exchanged.answered);
}

// Everything counted so far. PlotRAWValues gives the raw graph one table a record it draws.
Records Counted()
{
    Records now = exchanged;
    now.drawn = GetGraphTableCount(panelHandle, PANEL_GRAPHRAW);
    return now;
}

// The cable is out for the time-out of the exchange it cuts (about 1.55 s) and the reconnect.
constexpr double PULL_SECONDS = 2.0;

// A field of /proc/self/status in MB ("VmRSS", "VmHWM").
double MemoryMb(const std::string& field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::atof(line.c_str() + field.size() + 1) / 1024.0;
    return -1;
}

std::string StatusText()
{
    std::string text;
    GetCtrlVal(panelHandle, PANEL_STATUS, &text);
    return text;
}

void Press(int control)
{
    QTest::mouseClick(CtrlWidget(panelHandle, control), Qt::LeftButton);
}

// Processes events until `done` holds; false when it still does not after `seconds`.
bool ProcessUntil(const std::function<bool()>& done, double seconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && static_cast<double>(clock.elapsed()) < seconds * 1000)
        ProcessSystemEvents();
    return done();
}

// The operator opens the COM-port ring and chooses the port it shows again, which reopens it.
void ChooseComPortAgain()
{
    auto* ring = qobject_cast<QComboBox*>(CtrlWidget(panelHandle, PANEL_DROPDCOM));
    QTest::mouseClick(ring, Qt::LeftButton);
    QTest::keyClick(ring->view(), Qt::Key_Return);
}

// Resident memory is taken once the phase has warmed up (its first drawings have allocated what
// they keep) and at its end: a leak shows as growth between the two.
constexpr double WARM_UP_SECONDS = 5.0;

struct SoakPhase {
    const char* name;
    Records records;
    double seconds;
    std::string status;  // the status line at its end
    double rssWarm;      // MB
    double rssEnd;       // MB
};

// Presses `button`, runs `during` after `seconds` and processes events until `ended` holds. The
// command runs nested in one event-processing call, so `ended` is looked at once it is over.
SoakPhase Phase(const char* name, int button, double seconds, const std::function<void()>& during,
                const std::function<bool()>& ended)
{
    const Records before = Counted();
    QElapsedTimer clock;
    clock.start();
    bool due = false;
    double rssWarm = 0;
    QTimer::singleShot(static_cast<int>(std::min(WARM_UP_SECONDS, seconds / 4) * 1000),
                       [&] { rssWarm = MemoryMb("VmRSS"); });
    QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
        during();
        due = true;
    });
    Press(button);
    ProcessUntil([&] { return due && ended(); }, seconds + 10);
    return {name, Counted() - before, static_cast<double>(clock.elapsed()) / 1000.0, StatusText(),
            rssWarm, MemoryMb("VmRSS")};
}

void PrintPhase(const SoakPhase& p)
{
    std::printf("%-26s %9ld %9ld %9ld %9ld %6.1f s  %6.1f -> %6.1f MB  \"%s\"\n", p.name, p.records.requested,
                p.records.answered, p.records.drawn, p.records.requested - p.records.answered, p.seconds, p.rssWarm,
                p.rssEnd, p.status.c_str());
}

struct Soaked {
    SoakPhase run;
    SoakPhase data;
    std::string reconnect;  // the status line after it
    bool back;              // whether the reconnect brought the line back
    double seconds;
    double cpu;              // s, the whole process
    double rssStart;         // MB
    size_t heldBeforePull;   // the most bytes the sensor held before the pull
    size_t heldAfter;        // and after the reconnect
};

// Every exchange of the soak but the one the pulled cable cuts is answered and drawn once; a Data
// pass draws its record even after a time-out, so that shows here too.
long Lost(const Soaked& s)
{
    const Records& run = s.run.records;
    const Records& data = s.data.records;
    return std::labs(run.answered - run.drawn) + std::labs(data.requested - data.answered) +
           std::labs(data.answered - data.drawn);
}

void PrintSoak(const Soaked& s)
{
    const long drawn = s.run.records.drawn + s.data.records.drawn;
    std::printf("soak of %.0f s: Run %.0f s, then the cable pulled, the reconnect, Data %.0f s\n", s.seconds,
                s.run.seconds, s.data.seconds);
    std::printf("%-26s %9s %9s %9s %9s %8s  %-18s  %s\n", "phase", "requested", "answered", "drawn", "timed out",
                "time", "VmRSS warm -> end", "status at the end");
    PrintPhase(s.run);
    std::printf("%-26s %s: \"%s\"\n", "reconnect through the ring", s.back ? "done" : "FAILED", s.reconnect.c_str());
    PrintPhase(s.data);
    std::printf("records lost: %ld; exchanges timed out while the cable was pulled: %ld\n", Lost(s),
                s.run.records.requested - s.run.records.answered);
    std::printf("memory (VmRSS): start %.1f MB, end %.1f MB (%+.1f MB); after warm-up %+.1f MB (Run) and %+.1f MB "
                "(Data); peak %.1f MB\n",
                s.rssStart, s.data.rssEnd, s.data.rssEnd - s.rssStart, s.run.rssEnd - s.run.rssWarm,
                s.data.rssEnd - s.data.rssWarm, MemoryMb("VmHWM"));
    std::printf("CPU of the process: %.2f s, %.1f us per record drawn, %.1f %% of one core\n", s.cpu,
                drawn > 0 ? s.cpu / static_cast<double>(drawn) * 1e6 : 0.0, 100.0 * s.cpu / s.seconds);
    std::printf("sensor held at most: %zu bytes before the pull, %zu after the reconnect\n", s.heldBeforePull,
                s.heldAfter);
}

// A paced Run for about half the time, ended by pulling the cable (the sensor goes away and the run
// times out); the sensor back on a new device, chosen through the COM-port ring; a Data loop for the
// rest, ended by Stop.
Soaked Soak(double seconds, std::unique_ptr<sim::PtySensor> sensor)
{
    const double half = std::max(1.0, (seconds - PULL_SECONDS) / 2);
    Soaked s{};
    s.rssStart = MemoryMb("VmRSS");
    const double cpuStart = CpuSeconds(RUSAGE_SELF);
    QElapsedTimer clock;
    clock.start();

    s.run = Phase("Run, paced, cable pulled", PANEL_BTNRUN, half, [&] { sensor->stop(); },
                  [] { return stop_flag != 0; });
    Press(PANEL_BTNSTOP);
    s.heldBeforePull = sensor->mostBytesHeld();

    sensor = StartSensor(true);
    qputenv("KORVA_COM1", QByteArray::fromStdString(sensor->devicePath()));
    ChooseComPortAgain();
    s.back = ProcessUntil([] { return StatusText().find("Line Ok") != std::string::npos; }, 5);
    s.reconnect = StatusText();

    s.data = Phase("Data, paced, then Stop", PANEL_BTNDATA, half, [] { Press(PANEL_BTNSTOP); },
                   [] { return stop_flag != 0; });
    s.seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    s.cpu = CpuSeconds(RUSAGE_SELF) - cpuStart;
    s.heldAfter = sensor->mostBytesHeld();
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::puts("usage: korva-bench [--seconds N] [--repeat R] [--soak SECONDS]\n"
                  "Runs Run (paced, paced while recording, unpaced) and Data (paced) for N seconds each\n"
                  "(default 5)\n"
                  "against the simulated sensor and prints rates, line limits and CPU figures.\n"
                  "--repeat: R runs of each (default 1); prints the run with the median CPU per item\n"
                  "and the best, median and worst CPU per item.\n"
                  "--soak: a paced Run, a pulled cable, a reconnect through the COM-port ring and a\n"
                  "Data loop, SECONDS in all; prints memory, records requested, answered and drawn,\n"
                  "and CPU. Exits with 1 when a record was lost or the reconnect failed.");
        return 0;
    }
    const double seconds = OptionValue(argc, argv, "--seconds", 5.0);
    const double soak = OptionValue(argc, argv, "--soak", 0.0);
    const int repeat = std::max(1, static_cast<int>(OptionValue(argc, argv, "--repeat", 1.0)));

    SetComTap(CountExchanges);
    auto paced = StartSensor(true);
    if (!test::StartProgram(paced->devicePath())) {
        std::fprintf(stderr, "korva-bench: cannot load the panels (is KorvaTBScope11Xe.ui beside me?)\n");
        return 1;
    }
    if (soak > 0) {
        const Soaked soaked = Soak(soak, std::move(paced));
        PrintSoak(soaked);
        CloseCom(com);
        return soaked.back && Lost(soaked) == 0 ? 0 : 1;
    }
    // The window at its own size, as on an operator's screen, not shrunk to the offscreen screen.
    PanelWidget(panelHandle)->resize(1280, 800);
    std::vector<Result> run, recording, data, unpaced;
    const QTemporaryDir folder;
    // The paced phases in rounds, so that a slow spell of the machine falls on all of them alike.
    for (int i = 0; i < repeat; ++i) {
        run.push_back(Measure("Run, paced sensor", PANEL_BTNRUN, seconds, *paced, RUN_BYTES, true));
        StartRecording(folder.filePath(QStringLiteral("bench-run-%1.csv").arg(i)).toStdString());
        recording.push_back(Measure("Run, paced, recording", PANEL_BTNRUN, seconds, *paced, RUN_BYTES, true));
        StopRecording();
        data.push_back(Measure("Data passes, paced", PANEL_BTNDATA, seconds, *paced, DATA_BYTES, true));
    }
    paced.reset();
    auto fast = StartSensor(false);
    Reconnect(fast->devicePath());
    for (int i = 0; i < repeat; ++i)
        unpaced.push_back(Measure("Run, --no-pacing", PANEL_BTNRUN, seconds, *fast, RUN_BYTES, false));

    std::printf("%-22s %13s  %11s  %8s  %12s  %12s  %7s  %8s  %10s\n", "", "rate", "line limit", "ratio",
                "CPU per item", "in kernel", "wake-ups", "CPU", "repaints");
    for (const std::vector<Result>* phase : {&run, &recording, &data, &unpaced})
        Print(MedianRun(*phase));
    if (repeat > 1) {
        std::printf("CPU per item of the %d runs of each:\n", repeat);
        for (const std::vector<Result>* phase : {&run, &recording, &data, &unpaced})
            PrintSpread(*phase);
    }
    CloseCom(com);
    return 0;
}
