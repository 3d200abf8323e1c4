// Finding the sensor and keeping it, through real pseudo-terminals: the ring names each port after
// its device as it is when the ring opens, Find picks the first port whose device answers the line
// check, and a sensor whose device goes away is greeted again when it returns.
#include "support/Program.h"
#include "support/SensorOnCom1.h"

#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace korva;
using namespace korva::test;

namespace {

// A simulated sensor on a pseudo-terminal reached through a symbolic link, as a USB adapter is
// through /dev/serial/by-id; stopping it closes the pseudo-terminal and removes the link.
std::unique_ptr<sim::PtySensor> SensorBehind(const QString& link, bool silent = false)
{
    sim::SensorOptions options;
    options.linkPath = link.toStdString();
    options.faults.silent = silent;
    auto sensor = std::make_unique<sim::PtySensor>(options);
    sensor->start();
    return sensor;
}

void NamePort(int port, const QString& device)
{
    qputenv(qPrintable(QString("KORVA_COM%1").arg(port)), device.toUtf8());
}

QString Label(int port)
{
    auto* ring = qobject_cast<QComboBox*>(Control(panelHandle, PANEL_DROPDCOM));
    return ring->itemData(port - 1, Qt::ToolTipRole).toString();
}

void PressStop()
{
    QTest::mouseClick(Control(panelHandle, PANEL_BTNSTOP), Qt::LeftButton);
}

}  // namespace

class TestPorts : public QObject {
    Q_OBJECT

    QTemporaryDir folder;

    QString Path(const char* name) const { return folder.filePath(name); }

private slots:
    // No port of this test reaches a device of the machine: every item has a device of its own,
    // absent until a test puts a sensor there.
    void initTestCase()
    {
        for (int port = 2; port <= COM_PORT_COUNT; ++port)
            NamePort(port, Path(qPrintable(QString("port%1").arg(port))));
        QVERIFY(StartProgram(Path("port1").toStdString()));
    }

    void ringNamesThePortsAsTheyAreWhenItOpens()
    {
        QCOMPARE(Label(2), QString("COM2 \u2014 absent"));
        const auto sensor = SensorBehind(Path("port2"));
        QCOMPARE(Label(2), QString("COM2 \u2014 absent"));
        auto* ring = qobject_cast<QComboBox*>(Control(panelHandle, PANEL_DROPDCOM));
        ring->showPopup();
        QCOMPARE(Label(2), QString("COM2 \u2014 ") + Path("port2"));
        QCOMPARE(Label(3), QString("COM3 \u2014 absent"));
        ring->hidePopup();
    }

    // COM1 is silent, COM2 absent, COM3 answers.
    void findPicksTheFirstPortThatAnswers()
    {
        const auto silent = SensorBehind(Path("port1"), true);
        const auto answering = SensorBehind(Path("port3"));
        Click(panelHandle, PANEL_BTNFIND);
        QCOMPARE(StatusText(), "Sensor found on COM3 (" + Path("port3").toStdString() + ")");
        QCOMPARE(Value(panelHandle, PANEL_DROPDCOM), 3);
        QCOMPARE(com, 3);
        QCOMPARE(silent->commandsReceived(ORDER_LINE_CHECK), uint64_t{1});
        QCOMPARE(answering->commandsReceived(ORDER_LINE_CHECK), uint64_t{1});
        QCOMPARE(answering->commandsReceived(ORDER_GET_RAM), uint64_t{1});

        // Stop while COM1 keeps silent: COM3 is not tried, and the port open before is open again.
        After(100, PressStop);
        Click(panelHandle, PANEL_BTNFIND);
        QCOMPARE(StatusText(), std::string("No sensor found on 1 port"));
        QCOMPARE(answering->commandsReceived(ORDER_LINE_CHECK), uint64_t{1});
        QCOMPARE(com, 3);
        QVERIFY(ComPortOpen(3));
    }

    // The device goes away during Run: the run ends by its time-out, the program waits, and the
    // sensor is greeted when it is back, without the run starting again.
    void sensorIsGreetedAgainWhenItsDeviceReturns()
    {
        auto before = SensorBehind(Path("port1"));
        UsePort(1);
        QCOMPARE(StatusText(), std::string("Parameter-frame received! - Line Ok!"));
        After(300, [&] { before->stop(); });
        Click(panelHandle, PANEL_BTNRUN);
        QCOMPARE(stop_flag, 1);
        QVERIFY(ProcessUntil([] { return StatusText() == "Sensor disconnected from COM1 - waiting for it to return"; }));
        QVERIFY(!ComPortOpen(1));

        const auto after = SensorBehind(Path("port1"));
        QVERIFY(ProcessUntil([] { return StatusText() == "Sensor back on COM1 - Line Ok!"; }));
        QCOMPARE(after->commandsReceived(ORDER_LINE_CHECK), uint64_t{1});
        QCOMPARE(after->commandsReceived(ORDER_GET_RAM), uint64_t{1});
        ProcessFor(600);
        QCOMPARE(after->commandsReceived(ORDER_MEASURE), uint64_t{0});
        QCOMPARE(stop_flag, 1);
    }

private:
    static void UsePort(int port)
    {
        CloseCom(com);
        com = port;
        InitRS232(com);
    }
};

QTEST_APPLESS_MAIN(TestPorts)
#include "test_ports.moc"
