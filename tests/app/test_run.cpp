// Run, Stop, Send, Get and the storage target against a sensor on a real pseudo-terminal, driven
// through the real panel widgets.
#include "support/FileDialog.h"
#include "support/Program.h"
#include "support/SensorOnCom1.h"
#include "support/SmallDisk.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <memory>

using namespace korva;
using namespace korva::test;

namespace {

// Greets, and answers each measurement order with a record counting up: value n, teach value
// 1000 + n.
ScriptedPeer::Script CountingSensor(std::shared_ptr<std::atomic<int>> records)
{
    return SensorOnCom1::Greeted([records](const Bytes& command) {
        if (sim::frameOrder(command) != ORDER_MEASURE)
            return Bytes{};
        const auto n = static_cast<uint16_t>(++*records);
        return sim::encodeFrame(ORDER_MEASURE, {100, 300, n, static_cast<uint16_t>(1000 + n), 1, 0, 2, 0, 0});
    });
}

}  // namespace

class TestRun : public QObject, public SensorOnCom1 {
    Q_OBJECT

    // Presses Run and processes events until the run has ended.
    void RunUntilStopped(int timeoutMs = 5000)
    {
        Click(panelHandle, PANEL_BTNRUN);
        QVERIFY(ProcessUntil([] { return stop_flag == 1 && !Dimmed(panelHandle, PANEL_CMD16); }, timeoutMs));
    }

private slots:
    void initTestCase() { QVERIFY(StartProgram()); }

    void init()
    {
        SetParameterStartValues();
        SetPanelValues();
        DimTeachBackground(1);
    }

    void runDrawsEveryRecordInOrder()
    {
        auto records = std::make_shared<std::atomic<int>>(0);
        UsePeer(CountingSensor(records));
        peer->ClearCommands();
        std::vector<int> shown;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, [&] { shown.push_back(Value(panelHandle, PANEL_NUMVALUE)); });
        sampler.start(2);
        After(600, [] { Click(panelHandle, PANEL_BTNSTOP); });
        RunUntilStopped();
        sampler.stop();

        QVERIFY2(*records > 20, qPrintable(QString::number(*records)));
        QVERIFY(std::is_sorted(shown.begin(), shown.end()));
        // One request per answer; after Stop the answer on its way is still taken, and drawn, and
        // nothing more is sent.
        ProcessFor(200);
        const auto commands = peer->Commands();
        QCOMPARE(commands.size(), size_t(*records));
        QCOMPARE(Value(panelHandle, PANEL_NUMVALUE), *records);
        QCOMPARE(sim::frameOrder(commands[0]), uint16_t{ORDER_MEASURE});
        QCOMPARE(sim::frameWords(commands[0])[8], uint16_t{512});
        // Every later request carries the teach value of the record drawn before it.
        for (size_t i = 1; i < commands.size(); ++i)
            QCOMPARE(sim::frameWords(commands[i])[8], uint16_t(1000 + i));
        QCOMPARE(StatusText(), std::string("Line Ok!"));
        for (int control : {PANEL_CMD16, PANEL_CMD14, PANEL_CMD3})
            QVERIFY(!Dimmed(panelHandle, control));
        QVERIFY(Dimmed(panelHandle, PANEL_GRAPHDATA));
        QVERIFY(Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));  // bMode is 0
        QCOMPARE(ttick, uint16_t{0});
    }

    // Every record drawn is counted on the statistics line, added to the trend and, while Record is
    // on, written as a row to the file chosen in Record's dialog; the counting sensor's values are
    // 1, 2, 3, ... so the statistics are known exactly.
    void recordingStatisticsAndTrendFollowTheRun()
    {
        auto records = std::make_shared<std::atomic<int>>(0);
        UsePeer(CountingSensor(records));
        QTemporaryDir folder;
        const QString path = folder.filePath("run.csv");
        AnswerFileDialog(path.toStdString());
        Click(panelHandle, PANEL_BTNRECORD);
        QVERIFY(ProcessUntil([&] { return QFile::exists(path); }));
        After(1200, [] { Click(panelHandle, PANEL_BTNSTOP); });
        RunUntilStopped();
        Click(panelHandle, PANEL_BTNRECORD);
        QCOMPARE(Value(panelHandle, PANEL_BTNRECORD), 0);

        const QString stats = QString::fromStdString(Text(panelHandle, PANEL_STATS));
        const auto shown = QRegularExpression(QString::fromUtf8(
            "^records (\\d+) · \\d+\\.\\d/s · time-outs 0 · stray 0 · value min 1 max (\\d+) mean (\\d+\\.\\d) σ "
            "\\d+\\.\\d$"))
                               .match(stats);
        QVERIFY2(shown.hasMatch(), qPrintable(stats));
        const int drawn = shown.captured(1).toInt();
        QVERIFY(drawn > 20);
        QCOMPARE(drawn, int(*records));
        QCOMPARE(shown.captured(2).toInt(), drawn);
        QCOMPARE(shown.captured(3), QString::number((drawn + 1) / 2.0, 'f', 1));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), drawn + 1);
        QCOMPARE(lines[0], QString("time,seconds,edge 1,edge 2,value,teach,input state,window start pixel,"
                                   "edge count,start,end"));
        QVERIFY(lines[drawn].endsWith(QString(",100,300,%1,%2,1,0,2,0,0").arg(drawn).arg(1000 + drawn)));

        std::vector<GraphCurve> trend;
        QCOMPARE(GetGraphCurves(panelHandle, PANEL_GRAPHTREND, &trend), 0);
        QCOMPARE(trend.size(), size_t{2});  // the set point, then the values
        QCOMPARE(*std::max_element(trend[1].y.begin(), trend[1].y.end()), double(drawn));
    }

    // A disk that fills up while recording stops the recording, and the run goes on.
    void aFullDiskStopsTheRecording()
    {
        SmallDisk disk;
        if (!disk.mounted())
            QSKIP("mounting a tmpfs was refused (needs root)");
        UsePeer(CountingSensor(std::make_shared<std::atomic<int>>(0)));
        const QString path = disk.filePath("run.csv");
        AnswerFileDialog(path.toStdString());
        Click(panelHandle, PANEL_BTNRECORD);
        QVERIFY(ProcessUntil([&] { return QFile::exists(path); }));
        QVERIFY(disk.Fill());
        After(1500, [] { Click(panelHandle, PANEL_BTNSTOP); });
        RunUntilStopped();
        QCOMPARE(Value(panelHandle, PANEL_BTNRECORD), 0);
        QCOMPARE(StatusText(), std::string("Cannot write record file!"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith('\n'));
    }

    // A file chosen in the Record dialog once the toggle has gone off is not recorded to.
    void recordFileChosenAfterTheToggleWentOffIsIgnored()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("late.csv");
        Click(panelHandle, PANEL_BTNRECORD);
        QVERIFY(ProcessUntil([] { return QApplication::activeModalWidget() != nullptr; }));
        SetCtrlVal(panelHandle, PANEL_BTNRECORD, 0);
        auto seen = AnswerFileDialog(path.toStdString());
        QVERIFY(ProcessUntil([&] { return seen->answered; }));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(Value(panelHandle, PANEL_BTNRECORD), 0);
    }

    // The parameter-file dialog of Send lets a run go on; the file is written once it is chosen.
    void sendToFileDuringARun()
    {
        auto records = std::make_shared<std::atomic<int>>(0);
        UsePeer(CountingSensor(records));
        QTemporaryDir folder;
        const QString path = folder.filePath("during.dat");
        int whileOpen = 0;
        After(200, [&] {
            Click(panelHandle, PANEL_RBTFILE);
            Click(panelHandle, PANEL_BTNSEND);
        });
        After(300, [&] { whileOpen = *records; });
        After(800, [&] {
            whileOpen = *records - whileOpen;
            AnswerFileDialog(path.toStdString());
        });
        After(1200, [] { Click(panelHandle, PANEL_BTNSTOP); });
        RunUntilStopped();
        QVERIFY2(whileOpen > 5, qPrintable(QString::number(whileOpen)));
        QCOMPARE(StatusText(), std::string("Transmit..."));
        QVERIFY(QFile::exists(path));
        Click(panelHandle, PANEL_RBTRAM);
    }

    // A Send pressed while a run holds the line waits with the target chosen at its press: EEPROM,
    // then RAM chosen and Send pressed again, are two sends, in order.
    void sendWaitingForTheLineKeepsItsTarget()
    {
        UseSimulator();
        SetCtrlVal(panelHandle, PANEL_SLIDEPOWER, 650);
        After(100, [] {
            Click(panelHandle, PANEL_RBTEEPROM);
            Click(panelHandle, PANEL_BTNSEND);
            Click(panelHandle, PANEL_RBTRAM);
            Click(panelHandle, PANEL_BTNSEND);
        });
        After(400, [] { Click(panelHandle, PANEL_BTNSTOP); });
        RunUntilStopped();
        QVERIFY(ProcessUntil([&] { return sensor->commandsReceived(ORDER_SEND_RAM) == 1; }));
        QCOMPARE(sensor->commandsReceived(ORDER_SEND_EEPROM), uint64_t{1});
        QCOMPARE(sensor->eeprom()[0], uint16_t{650});
        QCOMPARE(target, RAM);
    }

    // A sensor slow to teach (1.2 s, past the teach's 0.75 s): the teach pressed during a recorded
    // run times out, its late answer is dropped, not recorded, and the sensor's parameters are read
    // back as the teach answered late. Then a run that times out, and Get at once: Get waits for
    // the late record and reads the parameters, not the record.
    void lateAnswersAreNeverTakenForTheNext()
    {
        sim::SensorOptions options = Unpaced();
        options.numbered = true;
        options.lateOrders = 1u << ORDER_TEACH_SETPOINT;
        options.lateBy = std::chrono::milliseconds(1200);
        UseSimulator(options);
        QTemporaryDir folder;
        const QString path = folder.filePath("late.csv");
        auto seen = AnswerFileDialog(path.toStdString());
        Click(panelHandle, PANEL_BTNRECORD);
        QVERIFY(ProcessUntil([&] { return seen->answered; }));
        const uint64_t stray = strayFrames;
        const uint64_t readBacks = sensor->commandsReceived(ORDER_GET_RAM);
        After(200, [] { QTest::mouseClick(Control(panelHandle, PANEL_BUTTONTEACH), Qt::LeftButton); });
        auto late = When([] { return StatusText() == "Teach answered late - check the teach value"; },
                         [] { After(200, [] { Click(panelHandle, PANEL_BTNSTOP); }); });
        RunUntilStopped(6000);
        Click(panelHandle, PANEL_BTNRECORD);
        QCOMPARE(sensor->commandsReceived(ORDER_GET_RAM), readBacks + 1);
        QCOMPARE(strayFrames, stray + 1);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = file.readAll().trimmed().split('\n').mid(1);
        QCOMPARE(uint64_t(rows.size()), sensor->commandsReceived(ORDER_MEASURE));
        for (qsizetype i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i].split(',')[4].toInt(), int(i + 1));

        options.numbered = false;
        options.lateOrders = 1u << ORDER_MEASURE;
        options.lateBy = std::chrono::milliseconds(2500);
        UseSimulator(options);
        RunUntilStopped();
        QCOMPARE(StatusText(), std::string("Timeout RS232-Line!"));
        Click(panelHandle, PANEL_BTNSTOP);
        Click(panelHandle, PANEL_BTNGET);
        QCOMPARE(StatusText(), std::string("Parameter-frame received! - Line Ok!"));
        sim::Words got{};
        PackVariables(got.data());
        QCOMPARE(got, sensor->ram());
    }

    void stopEnablesTeachBackgroundInMode2()
    {
        auto records = std::make_shared<std::atomic<int>>(0);
        UsePeer(CountingSensor(records));
        bMode = 2;
        After(200, [] { Click(panelHandle, PANEL_BTNSTOP); });
        RunUntilStopped();
        QVERIFY(!Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));
        QVERIFY(!Dimmed(panelPopUp, POPUP_LEDTEACHBACKGROUND));
    }

    void silentSensorTimesOutAndLocksUntilStop()
    {
        UsePeer(Greeted());
        QElapsedTimer clock;
        std::string shownFirst;
        After(100, [&] { shownFirst = StatusText(); });
        clock.start();
        RunUntilStopped();
        const qint64 took = clock.elapsed();
        QCOMPARE(shownFirst, std::string("Line Ok!"));
        QCOMPARE(StatusText(), std::string("Timeout RS232-Line!"));
        QVERIFY2(took > 1400 && took < 2500, qPrintable(QString::number(took)));
        QVERIFY(!Dimmed(panelHandle, PANEL_CMD16));
        QVERIFY(Dimmed(panelHandle, PANEL_CMD14));
        QVERIFY(Dimmed(panelHandle, PANEL_CMD3));
        QVERIFY(Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));
        Click(panelHandle, PANEL_BTNSTOP);
        QVERIFY(ProcessUntil([] { return !Dimmed(panelHandle, PANEL_CMD3); }));
        QVERIFY(!Dimmed(panelHandle, PANEL_CMD14));
    }

    void evaluationModeRingEndsARun()
    {
        auto records = std::make_shared<std::atomic<int>>(0);
        UsePeer(CountingSensor(records));
        After(300, [] { QTest::mousePress(Control(panelHandle, PANEL_DROPDEVALMODE), Qt::LeftButton); });
        RunUntilStopped();
        QVERIFY(*records > 5);
        QVERIFY(!Dimmed(panelHandle, PANEL_CMD3));
        QVERIFY(!Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));
        if (QWidget* list = QApplication::activePopupWidget())  // the press opened the ring's list
            list->close();
        ProcessFor();
    }

    void closeRequestEndsARun()
    {
        auto records = std::make_shared<std::atomic<int>>(0);
        UsePeer(CountingSensor(records));
        After(300, [] { PanelWidget(panelHandle)->close(); });
        RunUntilStopped();
        QVERIFY(QuitRequested());
        QVERIFY(PanelWidget(panelHandle)->isVisible());
        QCOMPARE(RunUserInterface(), 0);  // the loop the request was meant for ends at once
        Click(panelHandle, PANEL_BTNSTOP);
    }

    // The port chosen again during a run ends the run first, then greets the sensor; a cable
    // pulled afterwards is noticed by the next run.
    void portChosenAgainEndsTheRunFirst()
    {
        UseSimulator();
        const uint64_t checks = sensor->commandsReceived(ORDER_LINE_CHECK);
        Watchdog watchdog(6000);
        After(200, ChooseComPortAgain);
        RunUntilStopped();
        QVERIFY(ProcessUntil([] { return StatusText() == "Parameter-frame received! - Line Ok!"; }));
        QCOMPARE(sensor->commandsReceived(ORDER_LINE_CHECK), checks + 1);
        for (int control : {PANEL_CMD16, PANEL_CMD14, PANEL_CMD3})
            QVERIFY(!Dimmed(panelHandle, control));

        After(200, [&] { sensor->stop(); });
        RunUntilStopped();
        QVERIFY(!watchdog.Fired());
        QCOMPARE(StatusText(), std::string("Timeout RS232-Line!"));
        QVERIFY(!TickTimerRunning());
        Click(panelHandle, PANEL_BTNSTOP);
    }

    // ---- send and get ----------------------------------------------------------------------------

    void radioGroup()
    {
        const auto on = [](int control) { return Value(panelHandle, control); };
        Click(panelHandle, PANEL_RBTRAM);  // RAM cannot be switched off
        QVERIFY(ProcessUntil([&] { return on(PANEL_RBTRAM) == 1; }));
        ProcessFor();
        QCOMPARE(target, RAM);
        Click(panelHandle, PANEL_RBTFILE);
        QVERIFY(ProcessUntil([] { return target == DATFILE; }));
        QCOMPARE(on(PANEL_RBTRAM), 0);
        QCOMPARE(on(PANEL_RBTEEPROM), 0);
        QCOMPARE(on(PANEL_RBTFILE), 1);
        Click(panelHandle, PANEL_RBTEEPROM);
        QVERIFY(ProcessUntil([] { return target == EEPROM; }));
        QCOMPARE(on(PANEL_RBTFILE), 0);
        Click(panelHandle, PANEL_RBTEEPROM);  // switching the selected one off falls back to RAM
        QVERIFY(ProcessUntil([] { return target == RAM; }));
        QCOMPARE(on(PANEL_RBTRAM), 1);
        QCOMPARE(on(PANEL_RBTEEPROM), 0);
        QCOMPARE(on(PANEL_RBTFILE), 0);
    }

    void sendAndGetThroughTheSensor()
    {
        UseSimulator();
        SetCtrlVal(panelHandle, PANEL_SLIDEPOWER, 640);  // edited, not yet taken into power
        Click(panelHandle, PANEL_BTNSEND);
        QVERIFY(ProcessUntil([&] { return sensor->ram()[0] == 640; }));
        QCOMPARE(StatusText(), std::string("Line Ok!"));
        QCOMPARE(sensor->commandsReceived(ORDER_SEND_RAM), uint64_t{1});
        QCOMPARE(sensor->eeprom()[0], uint16_t{500});

        Click(panelHandle, PANEL_RBTEEPROM);
        QVERIFY(ProcessUntil([] { return target == EEPROM; }));
        SetCtrlVal(panelPopUp, POPUP_NEDITTOLERANCE, 42);
        Click(panelHandle, PANEL_BTNSEND);
        QVERIFY(ProcessUntil([&] { return sensor->eeprom()[9] == 42; }));
        QCOMPARE(sensor->commandsReceived(ORDER_SEND_EEPROM), uint64_t{1});

        // Keyboard activation commits but is no mouse press: nothing is sent.
        QWidget* send = Control(panelHandle, PANEL_BTNSEND);
        send->setFocus();
        QTest::keyClick(send, Qt::Key_Space);
        ProcessFor(200);
        QCOMPARE(sensor->commandsReceived(ORDER_SEND_RAM) + sensor->commandsReceived(ORDER_SEND_EEPROM), uint64_t{2});

        SetCtrlVal(panelPopUp, POPUP_NEDITTOLERANCE, 7);
        Click(panelHandle, PANEL_BTNGET);
        QVERIFY(ProcessUntil([] { return StatusText() == "Parameter-frame received! - Line Ok!"; }));
        QCOMPARE(sensor->commandsReceived(ORDER_GET_EEPROM), uint64_t{1});
        QCOMPARE(Value(panelPopUp, POPUP_NEDITTOLERANCE), 42);
        QCOMPARE(Value(panelHandle, PANEL_SLIDEPOWER), 640);
        Click(panelHandle, PANEL_RBTRAM);
        QVERIFY(ProcessUntil([] { return target == RAM; }));
    }

    void sendToFileWritesThePanelValues()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath("saved.dat").toStdString();
        target = DATFILE;
        SetCtrlVal(panelHandle, PANEL_NEDITEDGELEFT, 321);
        auto seen = AnswerFileDialog(path);
        Click(panelHandle, PANEL_BTNSEND);
        QVERIFY(ProcessUntil([&] { return QFile::exists(QString::fromStdString(path)); }));
        QCOMPARE(seen->title, QString("KORVA-TB-Series Parameter File"));
        QCOMPARE(seen->confirmLabel, QString("OK"));
        QCOMPARE(StatusText(), std::string("Transmit..."));
        uint32_t values[PNUM] = {};
        QCOMPARE(FileToArray(path, values, PNUM), 0);
        QCOMPARE(values[6], 321u);

        AnswerFileDialog("");  // cancelled: nothing written
        Click(panelHandle, PANEL_BTNSEND);
        ProcessFor(300);
        QCOMPARE(StatusText(), std::string("Transmit..."));
        target = RAM;
    }

    // A request made off the line is refused and counted: a callback that talks to the sensor
    // without declaring it in the table is caught here, whatever event it acts on. (The port ring
    // declares nothing and runs its port change on the line itself; it is left out, as it would
    // reopen the port.)
    void talkingWithoutDeclaringTheLineIsCaught()
    {
        UseSimulator();
        const uint64_t refused = UnheldRequests();
        const uint64_t gets = sensor->commandsReceived(ORDER_GET_RAM);
        CallOnLine([](int, int, int, void*, int, int) { PushGET(RAM); return 0; }, LineNeed::None, panelHandle, 0,
                   EVENT_COMMIT);
        QCOMPARE(UnheldRequests(), refused + 1);
        for (const CtrlCallbackEntry& entry : CtrlCallbacks())
            if (entry.need == LineNeed::None && entry.callback != CC_DropDCom)
                for (const int event : {EVENT_LEFT_CLICK, EVENT_VAL_CHANGED, EVENT_COMMIT})
                    RunCallback(entry.callback, panelHandle, 0, event);
        ProcessFor(200);
        QCOMPARE(UnheldRequests(), refused + 1);
        QCOMPARE(sensor->commandsReceived(ORDER_GET_RAM), gets);
    }
};

QTEST_APPLESS_MAIN(TestRun)
#include "test_run.moc"
