// korva-bench: measures the continuous run and the data loop against the simulated sensor.
//
// The program's modules run in this process on the offscreen platform, exactly as in the program;
// the simulated sensor serves a real pseudo-terminal from a thread of its own. CPU figures are those
// of the user-interface thread, where everything of the program runs, so the simulator's own work
// is not counted.
#include "KorvaTBScope11Xe.h"
#include "app/App.h"
#include "gui/Gui.h"
#include "link/Com232.h"
#include "qtaccess.h"
#include "rs232.h"
#include "userint.h"

#include "ptysensor.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

using namespace korva;

namespace {

// 19200 baud, 8N1: ten bits a byte.
constexpr double BYTES_PER_SECOND = 19200.0 / 10.0;
constexpr double RUN_BYTES = 72.0;    // command and answer frame
constexpr double DATA_BYTES = 656.0;  // two block requests and blocks, one measurement exchange

double ThreadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Result {
    const char* name;
    double perSecond;
    double lineLimit;  // 0: not limited by the line
    double cpuPerItem;
    double cpuShare;
    double repaintsPerSecond;
};

bool StartProgram(const std::string& port)
{
    static char arg0[] = "korva-bench";
    static char* argv[] = {arg0, nullptr};
    qputenv("KORVA_COM1", QByteArray::fromStdString(port));
    if (StartUp(1, argv) < 0)
        return false;
    DisplayPanel(panelHandle);
    return true;
}

void Reconnect(const std::string& port)
{
    CloseCom(com);
    qputenv("KORVA_COM1", QByteArray::fromStdString(port));
    InitRS232(com);
}

// Watches the sensor's count of measurement orders and notes when it first and last grew, so
// the rate is taken between whole exchanges (or passes), free of the start and the stop.
class OrderClock {
public:
    explicit OrderClock(const sim::PtySensor& sensor) : m_sensor(sensor), m_start(sensor.commandsReceived(8))
    {
        m_clock.start();
        m_poll.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { Sample(); });
        m_poll.start(1);
    }

    void Sample()
    {
        const uint64_t count = m_sensor.commandsReceived(8);
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

    void Stop() { m_poll.stop(); }

    double PerSecond() const
    {
        return m_lastAt > m_firstAt ? static_cast<double>(m_last - m_first) / (m_lastAt - m_firstAt) : 0.0;
    }

    uint64_t Count() const { return m_last > 0 ? m_last - m_start : 0; }

private:
    const sim::PtySensor& m_sensor;
    const uint64_t m_start;
    QElapsedTimer m_clock;
    QTimer m_poll;
    uint64_t m_first = 0, m_last = 0;
    double m_firstAt = 0, m_lastAt = 0;
};

// Presses `button`, lets the command run for `seconds`, presses Stop and waits for its end. Each
// measurement order the sensor receives is one record drawn (or one data pass).
Result Measure(const char* name, int button, double seconds, const sim::PtySensor& sensor, double lineBytes,
               bool paced)
{
    const long repaintsBefore = GetGraphRepaintCount(panelHandle, PANEL_GRAPHRAW);
    OrderClock orders(sensor);
    QElapsedTimer clock;
    double cpuStart = 0;
    double wall = 0;
    double cpu = 0;
    QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
        wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        cpu = ThreadCpuSeconds() - cpuStart;
        orders.Stop();
        QTest::mouseClick(CtrlWidget(panelHandle, PANEL_BTNSTOP), Qt::LeftButton);
    });
    clock.start();
    cpuStart = ThreadCpuSeconds();
    QTest::mouseClick(CtrlWidget(panelHandle, button), Qt::LeftButton);
    while (wall == 0 || stop_flag == 0)
        ProcessSystemEvents();
    const long repaints = GetGraphRepaintCount(panelHandle, PANEL_GRAPHRAW) - repaintsBefore;
    const double items = static_cast<double>(orders.Count());
    return {name,
            orders.PerSecond(),
            paced ? BYTES_PER_SECOND / lineBytes : 0.0,
            items > 0 ? cpu / items : 0.0,
            cpu / wall,
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
    std::printf("  %9.1f us  %6.1f %%  %7.1f /s\n", r.cpuPerItem * 1e6, 100.0 * r.cpuShare, r.repaintsPerSecond);
}

double SecondsFrom(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--seconds") == 0)
            return std::atof(argv[i + 1]);
    return 5.0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::puts("usage: korva-bench [--seconds N]\n"
                  "Runs Run (paced and unpaced sensor) and Data (paced) for N seconds each (default 5)\n"
                  "against the simulated sensor and prints rates, line limits and CPU figures.");
        return 0;
    }
    const double seconds = SecondsFrom(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    auto paced = StartSensor(true);
    if (!StartProgram(paced->devicePath())) {
        std::fprintf(stderr, "korva-bench: cannot load the panels (is KorvaTBScope11Xe.ui beside me?)\n");
        return 1;
    }
    const Result run = Measure("Run, paced sensor", PANEL_BTNRUN, seconds, *paced, RUN_BYTES, true);
    const Result data = Measure("Data passes, paced", PANEL_BTNDATA, seconds, *paced, DATA_BYTES, true);
    paced.reset();
    auto fast = StartSensor(false);
    Reconnect(fast->devicePath());
    const Result unpaced = Measure("Run, --no-pacing", PANEL_BTNRUN, seconds, *fast, RUN_BYTES, false);

    std::printf("%-22s %13s  %11s  %8s  %12s  %8s  %10s\n", "", "rate", "line limit", "ratio", "CPU per item",
                "CPU", "repaints");
    Print(run);
    Print(data);
    Print(unpaced);
    CloseCom(com);
    return 0;
}
