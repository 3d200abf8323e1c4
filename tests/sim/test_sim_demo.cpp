// The program with the simulated sensor inside it: --demo puts it on COM1 (the port device
// "sim:"), start-up greets it, Run and Data exchange with it at the pace of a 19200-baud line, and
// its faults and bad options reach the status line as a real port's would.
#include "support/Program.h"

#include "simsensor.h"
#include "simulatedsensor.h"

#include <QElapsedTimer>

using namespace korva;
using namespace korva::test;

namespace {

// Line time of one Run exchange (72 bytes) and of one Data pass (656 bytes), in milliseconds.
constexpr double kRunExchangeMs = 72 * 10 * 1000.0 / 19200;
constexpr double kDataPassMs = 656 * 10 * 1000.0 / 19200;

const sim::SimulatedSensor& Sensor()
{
    return *SimulatedSensorOf(1);
}

// Puts COM1 on `device` and opens and greets it, as choosing the port in the ring does.
void UseDevice(const char* device)
{
    CloseCom(com);
    qputenv("KORVA_COM1", device);
    com = 1;
    InitRS232(com);
}

// Presses `button` and Stop `ms` later; returns the time from the press until the loop has ended.
qint64 LoopFor(int button, int ms)
{
    QElapsedTimer clock;
    clock.start();
    After(ms, [] { Click(panelHandle, PANEL_BTNSTOP); });
    Click(panelHandle, button);
    if (!ProcessUntil([] { return stop_flag == 1 && !Dimmed(panelHandle, PANEL_CMD16); }, 5000))
        return -1;
    return clock.elapsed();
}

}  // namespace

class TestSimDemo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        static char arg0[] = "KorvaTBScope11Xe";
        static char demo[] = "--demo";
        static char* argv[] = {arg0, demo, nullptr};
        qunsetenv("KORVA_COM1");
        QCOMPARE(StartUp(2, argv), 0);
        DisplayPanel(panelHandle);
    }

    void demoGreetsTheSensorInside()
    {
        QCOMPARE(qgetenv("KORVA_COM1"), QByteArray("sim:"));
        QCOMPARE(StatusText(), std::string("Parameter-frame received! - Line Ok!"));
        QCOMPARE(Sensor().commandsReceived(sim::LineCheck), uint64_t{1});
        QCOMPARE(Sensor().commandsReceived(sim::ReadRam), uint64_t{1});
        QCOMPARE(Value(panelHandle, PANEL_DROPDCOM), 1);
        auto* ring = qobject_cast<QComboBox*>(Control(panelHandle, PANEL_DROPDCOM));
        QCOMPARE(ring->itemData(ring->currentIndex(), Qt::ToolTipRole).toString(),
                 QStringLiteral("COM1 \u2014 simulated sensor"));
    }

    // Every answer is drawn, and no more records come than the line carries.
    void runKeepsToTheLine()
    {
        UseDevice("sim:--numbered");
        const qint64 elapsed = LoopFor(PANEL_BTNRUN, 1500);
        QVERIFY(elapsed > 0);
        ProcessFor(100);
        const auto records = static_cast<int>(Sensor().commandsReceived(sim::Measure));
        QCOMPARE(Value(panelHandle, PANEL_NUMVALUE), records);
        const double lineAllows = double(elapsed) / kRunExchangeMs;
        QVERIFY2(records <= lineAllows + 1 && records >= lineAllows / 2,
                 qPrintable(QStringLiteral("%1 records in %2 ms").arg(records).arg(elapsed)));
    }

    void dataKeepsToTheLine()
    {
        const uint64_t measuresBefore = Sensor().commandsReceived(sim::Measure);
        const qint64 elapsed = LoopFor(PANEL_BTNDATA, 1200);
        QVERIFY(elapsed > 0);
        ProcessFor(100);
        const uint64_t passes = Sensor().commandsReceived(sim::Measure) - measuresBefore;
        const uint64_t blocks = Sensor().commandsReceived(sim::DataBlock);
        QVERIFY(passes >= 2);
        QVERIFY(blocks >= 2 * passes && blocks <= 2 * passes + 2);
        QVERIFY2(double(passes) <= double(elapsed) / kDataPassMs + 1,
                 qPrintable(QStringLiteral("%1 passes in %2 ms").arg(passes).arg(elapsed)));
        std::vector<GraphCurve> curves;
        QCOMPARE(GetGraphCurves(panelHandle, PANEL_GRAPHDATA, &curves), 0);
        QCOMPARE(curves.size(), size_t{2});
        QCOMPARE(curves[0].y.size(), size_t{256});
        QCOMPARE(StatusText(), std::string("Data[128] block received!"));
    }

    void faultsAndBadOptionsReachTheStatusLine()
    {
        UseDevice("sim:--silent");
        QCOMPARE(StatusText(), std::string("Timeout-RS-232..."));
        QCOMPARE(Sensor().commandsReceived(sim::LineCheck), uint64_t{1});

        UseDevice("sim:--wrong-echo");
        QCOMPARE(StatusText(), std::string("read error - not sync byte 0xAA!"));

        UseDevice("sim:--latency 30 --bogus");
        QCOMPARE(StatusText(), std::string("Cannot open port"));
        const QString reason = Control(panelHandle, PANEL_STATUS)->toolTip();
        QVERIFY2(reason.contains("--bogus"), qPrintable(reason));
        QCOMPARE(GetInQLen(com), COM_ERR_NOT_OPEN);
    }
};

QTEST_APPLESS_MAIN(TestSimDemo)
#include "test_sim_demo.moc"
