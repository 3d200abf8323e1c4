// Finding the sensor and keeping it: the ring names each port after its device as it is when the
// ring opens, and Find picks the first port whose device answers the line check (with the
// simulated sensor inside the program, so these run on Windows too). On Linux, a sensor whose
// device goes away during Run is greeted again when it returns: a symbolic link to a
// pseudo-terminal, as /dev/serial/by-id has.
#include "simsensor.h"
#include "simulatedsensor.h"
#include "support/Program.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#ifndef Q_OS_WIN
#include "ptysensor.h"

#include <memory>
#endif

using namespace korva;
using namespace korva::test;

namespace {

void NamePort(int port, const QString& device)
{
    qputenv(qPrintable(QString("KORVA_COM%1").arg(port)), device.toUtf8());
}

QComboBox* Ring()
{
    return qobject_cast<QComboBox*>(Control(panelHandle, PANEL_DROPDCOM));
}

QString Label(int port)
{
    return Ring()->itemData(port - 1, Qt::ToolTipRole).toString();
}

void PressStop()
{
    QTest::mouseClick(Control(panelHandle, PANEL_BTNSTOP), Qt::LeftButton);
}

uint64_t LineChecks(int port)
{
    return SimulatedSensorOf(port)->commandsReceived(ORDER_LINE_CHECK);
}

#ifndef Q_OS_WIN
// A simulated sensor on a pseudo-terminal behind a symbolic link; stopping it closes the
// pseudo-terminal and removes the link.
std::unique_ptr<sim::PtySensor> SensorBehind(const QString& link)
{
    sim::SensorOptions options;
    options.linkPath = link.toStdString();
    auto sensor = std::make_unique<sim::PtySensor>(options);
    sensor->start();
    return sensor;
}
#endif

}  // namespace

class TestPorts : public QObject {
    Q_OBJECT

    QTemporaryDir folder;

    QString Absent(int port) const { return folder.filePath(QString("port%1").arg(port)); }

private slots:
    // No port of this test reaches a device of the machine: every item has a device of its own,
    // absent until a test puts a sensor there.
    void initTestCase()
    {
        for (int port = 2; port <= COM_PORT_COUNT; ++port)
            NamePort(port, Absent(port));
        QVERIFY(StartProgram(Absent(1).toStdString()));
    }

    void ringNamesThePortsAsTheyAreWhenItOpens()
    {
        QCOMPARE(Label(2), QString("COM2 \u2014 absent"));
        NamePort(2, "sim:");
        QCOMPARE(Label(2), QString("COM2 \u2014 absent"));
        Ring()->showPopup();
        QCOMPARE(Label(2), QString("COM2 \u2014 simulated sensor"));
        QCOMPARE(Label(3), QString("COM3 \u2014 absent"));
        Ring()->hidePopup();
        NamePort(2, Absent(2));
    }

    // COM1 is silent, COM2 absent, COM3 answers.
    void findPicksTheFirstPortThatAnswers()
    {
        NamePort(1, "sim:--silent");
        NamePort(3, "sim:");
        Click(panelHandle, PANEL_BTNFIND);
        QCOMPARE(StatusText(), std::string("Sensor found on COM3 (simulated sensor)"));
        QCOMPARE(Value(panelHandle, PANEL_DROPDCOM), 3);
        QCOMPARE(com, 3);
        QCOMPARE(LineChecks(1), uint64_t{1});
        QCOMPARE(LineChecks(3), uint64_t{1});
        QCOMPARE(SimulatedSensorOf(3)->commandsReceived(ORDER_GET_RAM), uint64_t{1});

        // Stop while COM1 keeps silent: COM3 is not tried, and the port open before is open again.
        After(100, PressStop);
        Click(panelHandle, PANEL_BTNFIND);
        QCOMPARE(StatusText(), std::string("No sensor found on 1 port"));
        QCOMPARE(LineChecks(3), uint64_t{1});
        QCOMPARE(com, 3);
        QVERIFY(ComPortOpen(3));
        NamePort(1, Absent(1));
        NamePort(3, Absent(3));
    }

    // One search at a time: clicks while it runs are not taken, the button says it searches, and
    // Stop ends it at once; so does a quit signal. No line check goes out after either.
    void findIsOneSearchThatStopsAtOnce()
    {
        for (int port = 1; port <= 4; ++port)
            NamePort(port, "sim:--silent");
        const auto checks = [] {
            uint64_t sum = 0;
            for (int port = 1; port <= 4; ++port)
                sum += SimulatedSensorOf(port) != nullptr ? LineChecks(port) : 0;
            return sum;
        };
        QString label;
        After(100, [&] {
            label = qobject_cast<QAbstractButton*>(Control(panelHandle, PANEL_BTNFIND))->text();
            for (int click = 0; click < 4; ++click)
                QTest::mouseClick(Control(panelHandle, PANEL_BTNFIND), Qt::LeftButton);
        });
        QElapsedTimer clock;
        qint64 pressed = 0;
        After(400, [&] {
            pressed = clock.elapsed();
            PressStop();
        });
        clock.start();
        Click(panelHandle, PANEL_BTNFIND);
        QVERIFY2(clock.elapsed() - pressed < 200, qPrintable(QString::number(clock.elapsed() - pressed)));
        QCOMPARE(label, QString("Finding..."));
        QCOMPARE(qobject_cast<QAbstractButton*>(Control(panelHandle, PANEL_BTNFIND))->text(), QString("Find"));
        const uint64_t afterStop = checks();
        ProcessFor(1500);
        QCOMPARE(checks(), afterStop);
#ifndef Q_OS_WIN
        After(400, [&] {
            pressed = clock.elapsed();
            ::raise(SIGTERM);
        });
        clock.restart();
        Click(panelHandle, PANEL_BTNFIND);
        QVERIFY2(clock.elapsed() - pressed < 500, qPrintable(QString::number(clock.elapsed() - pressed)));
        const uint64_t afterQuit = checks();
        ProcessFor(1500);
        QCOMPARE(checks(), afterQuit);
        QVERIFY(QuitRequested());
        QCOMPARE(RunUserInterface(), 0);  // the loop the request was meant for ends at once
#endif
        for (int port = 1; port <= 4; ++port)
            NamePort(port, Absent(port));
    }

#ifndef Q_OS_WIN
    // The device goes away during Run: the run ends by its time-out, the program waits, and the
    // sensor is greeted when it is back, without the run starting again.
    void sensorIsGreetedAgainWhenItsDeviceReturns()
    {
        auto before = SensorBehind(Absent(1));
        CloseCom(com);
        com = 1;
        InitRS232(com);
        QCOMPARE(StatusText(), std::string("Parameter-frame received! - Line Ok!"));
        bool findDimmedDuringRun = false;
        After(300, [&] {
            findDimmedDuringRun = Dimmed(panelHandle, PANEL_BTNFIND);
            before->stop();
        });
        Click(panelHandle, PANEL_BTNRUN);
        QCOMPARE(stop_flag, 1);
        QVERIFY(findDimmedDuringRun);
        QVERIFY(!Dimmed(panelHandle, PANEL_BTNFIND));  // back after the time-out, to look for the sensor
        const std::string disconnected = "Sensor disconnected from COM1 - waiting for it to return";
        QVERIFY(ProcessUntil([&] { return StatusText() == disconnected; }));
        QVERIFY(!ComPortOpen(1));
        Click(panelHandle, PANEL_BTNSEND);  // says it cannot reach the sensor
        QCOMPARE(StatusText(), disconnected);
        Click(panelHandle, PANEL_BTNFIND);  // finds nothing; the watch goes on waiting
        QCOMPARE(StatusText(), std::string("No sensor found on 0 ports"));

        const auto after = SensorBehind(Absent(1));
        QVERIFY(ProcessUntil([] { return StatusText() == "Sensor back on COM1 - Line Ok!"; }));
        QCOMPARE(after->commandsReceived(ORDER_LINE_CHECK), uint64_t{1});
        QCOMPARE(after->commandsReceived(ORDER_GET_RAM), uint64_t{1});
        ProcessFor(600);
        QCOMPARE(after->commandsReceived(ORDER_MEASURE), uint64_t{0});
        QCOMPARE(stop_flag, 1);
    }
#endif
};

QTEST_APPLESS_MAIN(TestPorts)
#include "test_ports.moc"
