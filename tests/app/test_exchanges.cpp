// One exchange at a time on the line: commands given while a Run or Data loop runs, at fifty
// moments spread over a pass, against the simulated sensor at the pace of the real line, with
// Record on. The sensor numbers its records (word 2, the value), so the recording shows that its
// rows are exactly the measurement answers the sensor sent, in order, none extra, none shifted,
// and never more a second than the line can carry.
#include "support/FileDialog.h"
#include "popup/PopUp.h"
#include "support/Program.h"
#include "support/SensorOnCom1.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <optional>

using namespace korva;
using namespace korva::test;

namespace {

constexpr int MOMENTS = 50;
// A pass from the moment the sensor has the pass's first request to the moment the next one
// could leave, at 19200 baud: a Run exchange is 72 bytes on the wire, a Data pass 656.
constexpr int RUN_PASS_MS = 38;
constexpr int DATA_PASS_MS = 342;
constexpr double RUN_LINE_LIMIT = 1920.0 / 72;  // records a second
constexpr double DATA_LINE_LIMIT = 1920.0 / 656;

enum class Loop { Run, Data };

int LoopButton(Loop loop)
{
    return loop == Loop::Run ? PANEL_BTNRUN : PANEL_BTNDATA;
}

// Moment k of a pass, in milliseconds after the sensor has its first request.
int Moment(Loop loop, int k)
{
    return k * (loop == Loop::Run ? RUN_PASS_MS : DATA_PASS_MS) / MOMENTS;
}

// A real click whose events the program takes at its next event processing.
void ClickOnly(int panel, int control)
{
    QTest::mouseClick(Control(panel, control), Qt::LeftButton);
}

// The background-teach button is dimmed during Run; its callback is called as a click would.
void PressTeachBackground(Loop loop)
{
    if (loop == Loop::Data) {
        ClickOnly(panelPopUp, POPUP_BTNTEACHBACKGROUND);
        return;
    }
    RunCallback(CC_BTNTeachBackGround, panelPopUp, POPUP_BTNTEACHBACKGROUND, EVENT_LEFT_CLICK);
    RunCallback(CC_BTNTeachBackGround, panelPopUp, POPUP_BTNTEACHBACKGROUND, EVENT_COMMIT);
}

struct Row {
    double seconds;
    int value;
};

std::vector<Row> RecordedRows(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    std::vector<Row> rows;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> columns = lines[i].split(',');
        if (columns.size() == 11)
            rows.push_back({columns[1].toDouble(), columns[4].toInt()});
    }
    return rows;
}

// The most rows within any one second.
int MostRowsInASecond(const std::vector<Row>& rows)
{
    int most = 0;
    size_t first = 0;
    for (size_t last = 0; last < rows.size(); ++last) {
        while (rows[last].seconds - rows[first].seconds >= 1.0)
            ++first;
        most = std::max(most, static_cast<int>(last - first + 1));
    }
    return most;
}

}  // namespace

class TestExchanges : public QObject, public SensorOnCom1 {
    Q_OBJECT

    QTemporaryDir folder;
    QString recordPath;
    bool timeOutShown = false;
    QTimer statusWatch;
    std::map<uint16_t, uint64_t> expected;  // orders the sensor must have received, by order

    uint64_t Received(uint16_t order) const { return sensor->commandsReceived(order); }

    // Passes the sensor has seen begin: the measurement order of a run, the first block request of
    // a data pass.
    uint64_t PassesBegun(Loop loop) const
    {
        return loop == Loop::Run ? Received(ORDER_MEASURE) : (Received(ORDER_DATA_BLOCK) + 1) / 2;
    }

    // Every exchange of the commands given so far has reached the sensor.
    bool CommandsDone() const
    {
        return std::all_of(expected.begin(), expected.end(), [this](const auto& order) {
            return order.first == ORDER_MEASURE || order.first == ORDER_DATA_BLOCK ||
                   Received(order.first) >= order.second;
        });
    }

    void Expect(std::initializer_list<uint16_t> orders)
    {
        for (uint16_t order : orders)
            ++expected[order];
    }

    // The orders of the commands given so far that the sensor has not had, for a failure message.
    QString Missing() const
    {
        QString missing;
        for (const auto& [order, count] : expected)
            if (order != ORDER_MEASURE && order != ORDER_DATA_BLOCK && Received(order) < count)
                missing += QString(" order %1: %2 of %3;").arg(order).arg(Received(order)).arg(count);
        return missing;
    }

    void StartRecording()
    {
        recordPath = folder.filePath(QString("%1.csv").arg(QTest::currentTestFunction()));
        auto seen = AnswerFileDialog(recordPath.toStdString());
        Click(panelHandle, PANEL_BTNRECORD);
        QVERIFY(ProcessUntil([&] { return seen->answered; }));
        QCOMPARE(Value(panelHandle, PANEL_BTNRECORD), 1);
    }

    // Record off, then the rows: exactly the records the sensor numbered, at most as many a second
    // as the line carries.
    void CheckRecording(double lineLimit)
    {
        Click(panelHandle, PANEL_BTNRECORD);
        QCOMPARE(Value(panelHandle, PANEL_BTNRECORD), 0);
        const std::vector<Row> rows = RecordedRows(recordPath);
        QCOMPARE(rows.size(), size_t(Received(ORDER_MEASURE)));
        for (size_t i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i].value, int(i + 1));
        QVERIFY2(MostRowsInASecond(rows) <= lineLimit + 1, qPrintable(QString::number(MostRowsInASecond(rows))));
        QVERIFY(!timeOutShown);
        QVERIFY(Text(panelHandle, PANEL_STATS).find("time-outs 0 · stray 0 ·") != std::string::npos);
    }

    // Gives the commands at their moments, pass after pass, while the loop runs; the commands of a
    // pass are given in the first pass that begins after the sensor has had every exchange of the
    // last pass's. Stops the loop after `passes`.
    void CommandsDuring(Loop loop, int passes)
    {
        sim::SensorOptions options;
        options.numbered = true;
        UseSimulator(options);
        QCOMPARE(StatusText(), std::string("Parameter-frame received! - Line Ok!"));
        StartRecording();
        bMode = 2;
        DimTeachBackground(0);
        expected.clear();
        for (uint16_t order = ORDER_SEND_RAM; order <= ORDER_DATA_BLOCK; ++order)
            expected[order] = Received(order);  // the greeting's
        // Ten times a pass's time on a quiet machine: only a hang trips them. A pass whose commands
        // do not all reach the sensor, or a time-out, ends the loop at once, with what went wrong.
        const int passLimit = loop == Loop::Run ? 1500 : 5000;
        Watchdog watchdog(passes * passLimit);
        QString stalled;
        QElapsedTimer sincePass;
        sincePass.start();
        int pass = 0;
        // The passes begun when the last commands' exchanges had all reached the sensor. The
        // program may still be waiting for their answers then, with the background-teach button
        // dimmed until its read-back is in, and a click on it would be lost; a pass that begins
        // later begins after the program has finished them.
        std::optional<uint64_t> doneAt;
        QTimer driver;
        connect(&driver, &QTimer::timeout, [&] {
            if (timeOutShown || sincePass.elapsed() > passLimit) {
                stalled = QString("pass %1, status \"%2\",%3").arg(pass).arg(StatusText().c_str()).arg(Missing());
                driver.stop();
                CC_BTNStop(panelHandle, PANEL_BTNSTOP, EVENT_LEFT_CLICK, nullptr, 0, 0);
                return;
            }
            if (!CommandsDone())
                return;
            if (!doneAt)
                doneAt = PassesBegun(loop);
            if (PassesBegun(loop) == *doneAt)
                return;
            doneAt.reset();
            sincePass.restart();
            if (pass == 0 && !PanelWidget(panelPopUp)->isVisible())
                Click(panelHandle, PANEL_BTNCCDSETTINGS);  // Data has hidden the CCD settings
            if (pass == passes) {
                driver.stop();
                Click(panelHandle, PANEL_BTNSTOP);
                return;
            }
            // Send goes to RAM and EEPROM in turn, fifty moments each; the teaches meet every
            // moment twice.
            const bool eeprom = pass % 2 == 1;
            Click(panelHandle, eeprom ? PANEL_RBTEEPROM : PANEL_RBTRAM);
            SetCtrlVal(panelHandle, PANEL_SLIDEPOWER, 600 + pass);
            Expect({ORDER_TEACH_SETPOINT, ORDER_GET_RAM, ORDER_TEACH_BACKGROUND, ORDER_GET_RAM,
                    eeprom ? ORDER_SEND_EEPROM : ORDER_SEND_RAM});
            After(Moment(loop, pass % MOMENTS), [] { ClickOnly(panelHandle, PANEL_BUTTONTEACH); });
            After(Moment(loop, (pass + 25) % MOMENTS), [loop] { PressTeachBackground(loop); });
            After(Moment(loop, pass / 2), [] { ClickOnly(panelHandle, PANEL_BTNSEND); });
            ++pass;
        });
        driver.start(1);
        Click(panelHandle, LoopButton(loop));
        QVERIFY(ProcessUntil([] { return stop_flag == 1 && !Dimmed(panelHandle, PANEL_CMD16); }));
        QVERIFY2(stalled.isEmpty(), qPrintable(stalled));
        QVERIFY(!watchdog.Fired());
        QCOMPARE(pass, passes);

        // Each command had its exchanges exactly once, and the last of them left their mark.
        ProcessFor(100);
        for (const auto& [order, count] : expected)
            QVERIFY2(order == ORDER_MEASURE || order == ORDER_DATA_BLOCK || Received(order) == count,
                     qPrintable(QString("order %1: %2 of %3").arg(order).arg(Received(order)).arg(count)));
        QCOMPARE(sensor->ram()[0], uint16_t(600 + passes - 1));
        QCOMPARE(sensor->eeprom()[0], uint16_t(600 + passes - 1));
        QCOMPARE(Value(panelPopUp, POPUP_LEDTEACHBACKGROUND), 0);
        Click(panelHandle, PANEL_RBTRAM);
    }

    // The port chosen again at each moment of a pass: the loop ends once the exchange under way
    // is over, then the port is reopened and the sensor greeted.
    void PortChangesDuring(Loop loop)
    {
        sim::SensorOptions options;
        options.numbered = true;
        UseSimulator(options);
        StartRecording();
        const uint64_t stray = strayFrames;
        for (int k = 0; k < MOMENTS; ++k) {
            const uint64_t checks = Received(ORDER_LINE_CHECK);
            const uint64_t reads = Received(ORDER_GET_RAM);
            const uint64_t passes = PassesBegun(loop);
            Watchdog watchdog(loop == Loop::Run ? 3000 : 6000);
            auto choose = When([&] { return PassesBegun(loop) > passes; },
                               [loop, k] { After(Moment(loop, k), ChooseComPortAgain); });
            Click(panelHandle, LoopButton(loop));
            QVERIFY(ProcessUntil([&] {
                return Received(ORDER_GET_RAM) > reads && StatusText() == "Parameter-frame received! - Line Ok!";
            }));
            QVERIFY2(!watchdog.Fired(), qPrintable(QString("moment %1").arg(k)));
            QCOMPARE(Received(ORDER_LINE_CHECK), checks + 1);
            QCOMPARE(stop_flag, 1);
        }
        QCOMPARE(strayFrames, stray);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(StartProgram());
        connect(&statusWatch, &QTimer::timeout,
                [this] { timeOutShown = timeOutShown || StatusText().find("Timeout") != std::string::npos; });
        statusWatch.start(1);
    }

    void init()
    {
        SetParameterStartValues();
        SetPanelValues();
        timeOutShown = false;
    }

    void commandsDuringRun()
    {
        CommandsDuring(Loop::Run, 2 * MOMENTS);
        CheckRecording(RUN_LINE_LIMIT);
    }

    void commandsDuringData()
    {
        CommandsDuring(Loop::Data, 2 * MOMENTS);
        CheckRecording(DATA_LINE_LIMIT);
    }

    void portChangesDuringRun()
    {
        PortChangesDuring(Loop::Run);
        CheckRecording(RUN_LINE_LIMIT);
    }

    void portChangesDuringData()
    {
        PortChangesDuring(Loop::Data);
        CheckRecording(DATA_LINE_LIMIT);
    }
};

QTEST_APPLESS_MAIN(TestExchanges)
#include "test_exchanges.moc"
