// Data blocks, the data loop, teaching and the CCD-settings button, against a sensor on a real
// pseudo-terminal and through the real panel widgets.
#include "support/FileDialog.h"
#include "support/Program.h"
#include "support/SensorOnCom1.h"

#include <QElapsedTimer>
#include <QTimer>

#include <memory>

using namespace korva;
using namespace korva::test;

namespace {

Bytes Block(size_t bytes, uint8_t first = 0)
{
    Bytes block(bytes);
    for (size_t i = 0; i < bytes; ++i)
        block[i] = static_cast<uint8_t>(first + i);
    return block;
}

std::vector<GraphCurve> DataCurves()
{
    std::vector<GraphCurve> curves;
    GetGraphCurves(panelHandle, PANEL_GRAPHDATA, &curves);
    return curves;
}

}  // namespace

class TestData : public QObject, public SensorOnCom1 {
    Q_OBJECT

    // A block read as the data loop makes it: on the line, the receive handler off meanwhile.
    static void ReadAsDataLoop(void (*read)(int, int), int start, int selector)
    {
        const LineHold hold;
        const BlockLine blocks;
        read(start, selector);
    }

    static void ReadSecondHalf() { ReadAsDataLoop(ReadData128, 128, 1); }

private slots:
    void initTestCase() { QVERIFY(StartProgram()); }

    void init()
    {
        SetParameterStartValues();
        SetPanelValues();
    }

    // ---- block reads -----------------------------------------------------------------------------

    void exactBlockFillsItsHalf()
    {
        UsePeer(Greeted([](const Bytes& c) { return sim::frameOrder(c) == ORDER_DATA_BLOCK ? Block(256, 0x12) : Bytes{}; }));
        std::fill(std::begin(adcbuf), std::end(adcbuf), 0xBEEF);
        ReadSecondHalf();
        QCOMPARE(StatusText(), std::string("Data[128] block received!"));
        QCOMPARE(adcbuf[127], uint16_t{0xBEEF});
        QCOMPARE(adcbuf[128], uint16_t{0x1213});
        QCOMPARE(adcbuf[255], uint16_t{(0x12 + 254) % 256 * 256 + (0x12 + 255) % 256});
        const Bytes request = peer->Commands().back();
        QCOMPARE(sim::frameOrder(request), uint16_t{ORDER_DATA_BLOCK});
        QCOMPARE(sim::frameWords(request), (sim::Words{128, 1}));

        peer->SetScript([](const Bytes&) { return Bytes{0x12, 0x34, 0, 0, 0, 0}; });
        peer->Send({0x55, 0x55});  // before the request: flushed, never counted
        ProcessFor(50);
        ReadAsDataLoop(ReadData64, 0, 0);
        QCOMPARE(adcbuf[0], uint16_t{0x1234});
        QCOMPARE(StatusText(), std::string("Timeout-RS-232 while reading 64 data-words!"));
    }

    void shortBlockTimesOut()
    {
        UsePeer(Greeted([](const Bytes& c) { return sim::frameOrder(c) == ORDER_DATA_BLOCK ? Block(200, 1) : Bytes{}; }));
        std::fill(std::begin(szReadBuf), std::end(szReadBuf), 0xEE);
        QElapsedTimer clock;
        clock.start();
        ReadSecondHalf();
        QVERIFY(clock.elapsed() > 1400);
        QCOMPARE(StatusText(), std::string("Timeout-RS-232 while reading 128 data-words!"));
        QCOMPARE(nBytesR, 200);
        QCOMPARE(adcbuf[128], uint16_t{0x0102});
        QCOMPARE(adcbuf[227], uint16_t{(199 % 256) * 256 + 200 % 256});
        QCOMPARE(adcbuf[228], uint16_t{0xEEEE});
    }

    void floodedQueueNeverOverrunsTheBuffer()
    {
        UsePeer(Greeted([](const Bytes& c) { return sim::frameOrder(c) == ORDER_DATA_BLOCK ? Block(2000, 3) : Bytes{}; }));
        StoreStatus("before");
        ReadSecondHalf();
        ProcessFor(100);
        QVERIFY(nBytesR >= 256 && nBytesR <= 1024);
        QCOMPARE(adcbuf[128], uint16_t{0x0304});
        QCOMPARE(GetInQLen(com), 0);
        if (nBytesR != 256)
            QCOMPARE(StatusText(), std::string("before"));
    }

    void silentSensorLeavesStaleWords()
    {
        UsePeer(Greeted());
        std::fill(std::begin(szReadBuf), std::end(szReadBuf), 0x22);
        ReadSecondHalf();
        QCOMPARE(StatusText(), std::string("Timeout-RS-232 while reading 128 data-words!"));
        QCOMPARE(nBytesR, 0);
        QCOMPARE(adcbuf[200], uint16_t{0x2222});
    }

    // ---- data loop -------------------------------------------------------------------------------

    void dataLoopWithALiveSensor()
    {
        UseSimulator();
        DisplayPanel(panelPopUp);
        hidePopUp = 0;
        After(100, [] { Click(panelHandle, PANEL_BTNSTOP); });
        Click(panelHandle, PANEL_BTNRUN);  // dims the data graph, as every run does
        QVERIFY(ProcessUntil([] { return stop_flag == 1 && !Dimmed(panelHandle, PANEL_CMD16); }));
        ProcessFor(100);  // the run's last order may still be on its way to the sensor

        const uint64_t ordersBefore = sensor->commandsReceived(ORDER_MEASURE);
        bool graphEnabledDuringLoop = false;
        After(200, [&] { graphEnabledDuringLoop = !Dimmed(panelHandle, PANEL_GRAPHDATA); });
        After(500, [] { Click(panelHandle, PANEL_BTNSTOP); });
        Click(panelHandle, PANEL_BTNDATA);
        QVERIFY(ProcessUntil([] { return stop_flag == 1 && !Dimmed(panelHandle, PANEL_CMD14); }, 6000));
        QVERIFY(graphEnabledDuringLoop);
        QVERIFY(!PanelWidget(panelPopUp)->isVisible());
        QCOMPARE(hidePopUp, uint16_t{1});
        const uint64_t passes = sensor->commandsReceived(ORDER_MEASURE) - ordersBefore;
        QVERIFY(passes >= 2);
        // Once stopped, a pass sends no further request: the one under way is the last.
        const uint64_t blocks = sensor->commandsReceived(ORDER_DATA_BLOCK);
        QVERIFY(blocks >= 2 * passes && blocks <= 2 * passes + 2);
        ProcessFor(200);
        QCOMPARE(sensor->commandsReceived(ORDER_DATA_BLOCK), blocks);
        QCOMPARE(sensor->commandsReceived(ORDER_MEASURE), ordersBefore + passes);
        const auto curves = DataCurves();
        QCOMPARE(curves.size(), size_t{2});
        QVERIFY(*std::max_element(curves[0].y.begin(), curves[0].y.end()) > 300);  // the bright line
        QVERIFY(Value(panelHandle, PANEL_NUMEDGE1) > 0);
        QCOMPARE(StatusText(), std::string("Data[128] block received!"));

        // The receive handler is back: Run works at once.
        const uint64_t before = sensor->commandsReceived(ORDER_MEASURE);
        After(300, [] { Click(panelHandle, PANEL_BTNSTOP); });
        Click(panelHandle, PANEL_BTNRUN);
        QVERIFY(ProcessUntil([] { return stop_flag == 1 && !Dimmed(panelHandle, PANEL_CMD16); }));
        QVERIFY(sensor->commandsReceived(ORDER_MEASURE) > before + 10);
    }

    // A record file deleted while Data runs stops the recording at the next write: the toggle goes
    // off and says why, and the status line says so for a few seconds although the loop goes on.
    void recordFileDeletedDuringData()
    {
        UseSimulator();
        QTemporaryDir folder;
        const QString path = folder.filePath("data.csv");
        auto seen = AnswerFileDialog(path.toStdString());
        Click(panelHandle, PANEL_BTNRECORD);
        QVERIFY(ProcessUntil([&] { return seen->answered; }));
        std::string shortlyAfter;
        After(300, [&] { QFile::remove(path); });
        auto stopped = When([] { return Value(panelHandle, PANEL_BTNRECORD) == 0; }, [&] {
            After(1000, [&] {
                shortlyAfter = StatusText();
                Click(panelHandle, PANEL_BTNSTOP);
            });
        });
        Watchdog watchdog(6000);
        Click(panelHandle, PANEL_BTNDATA);
        QVERIFY(!watchdog.Fired());
        QCOMPARE(shortlyAfter, std::string("Record file is gone - recording stopped!"));
        QVERIFY(Control(panelHandle, PANEL_BTNRECORD)->toolTip().contains(path));
        QVERIFY(!QFile::exists(path));
        ForgetRecordingFault();
    }

    void dataLoopWithoutSensor()
    {
        UsePeer(Greeted());
        QElapsedTimer clock;
        clock.start();
        Click(panelHandle, PANEL_BTNDATA);
        QVERIFY(ProcessUntil([] { return stop_flag == 1 && !Dimmed(panelHandle, PANEL_CMD16); }, 12000));
        // Three time-outs, and after each of the first two a quiet wait as long before the next
        // request, for an answer that might still come late.
        QVERIFY2(clock.elapsed() > 7400, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(StatusText(), std::string("Timeout RS232-Line!"));
        // Both blocks and the measurement timed out, and each is counted.
        QVERIFY(Text(panelHandle, PANEL_STATS).find("time-outs 3 ·") != std::string::npos);
        QVERIFY(!Dimmed(panelHandle, PANEL_CMD14));
        QVERIFY(Dimmed(panelHandle, PANEL_CMD3));
        Click(panelHandle, PANEL_BTNSTOP);
        ProcessFor();
    }

    // The port chosen again during a block read ends the loop, as the evaluation-mode ring does;
    // once the block is in, the port is reopened and the sensor greeted.
    void portChosenAgainDuringABlockRead()
    {
        UseSimulator();
        const uint64_t checks = sensor->commandsReceived(ORDER_LINE_CHECK);
        Watchdog watchdog(8000);
        auto choose = When([] { return StatusText() == "Waiting for Data[128] ..."; }, ChooseComPortAgain);
        Click(panelHandle, PANEL_BTNDATA);
        QVERIFY(ProcessUntil([] { return StatusText() == "Parameter-frame received! - Line Ok!"; }));
        QVERIFY(!watchdog.Fired());
        QCOMPARE(sensor->commandsReceived(ORDER_LINE_CHECK), checks + 1);
        QCOMPARE(stop_flag, 1);
        for (int control : {PANEL_CMD16, PANEL_CMD14, PANEL_CMD3})
            QVERIFY(!Dimmed(panelHandle, control));
        QVERIFY(!TickTimerRunning());
        QCOMPARE(ttick, uint16_t{0});
    }

    // Teach pressed while a data pass waits for a measurement the pulled cable never brings waits
    // for the line: the measurement times out and ends the loop, then the teach has its turn.
    void teachDuringDataWithThePulledCable()
    {
        UseSimulator();
        sensor->stop();
        Watchdog watchdog(15000);
        bool pressed = false;
        auto teach = When([] { return StatusText() == "Timeout-RS-232 while reading 128 data-words!"; }, [&] {
            QTest::mouseClick(Control(panelHandle, PANEL_BUTTONTEACH), Qt::LeftButton);
            pressed = true;
        });
        std::string whenTheTeachBegan;
        auto teachBegins = When([] { return StatusText() == "New setpoint value teached!"; },
                                [&] { whenTheTeachBegan = Text(panelHandle, PANEL_STATS); });
        Click(panelHandle, PANEL_BTNDATA);
        QVERIFY(pressed);
        QVERIFY(!watchdog.Fired());
        QVERIFY(ProcessUntil([] { return StatusText() == "Timeout-RS-232..."; }));  // the teach's own
        QVERIFY(whenTheTeachBegan.find("time-outs 3 ·") != std::string::npos);  // the loop had ended
        QVERIFY(!TickTimerRunning());
        Click(panelHandle, PANEL_BTNSTOP);
    }

    // ---- teach -----------------------------------------------------------------------------------

    void teachSetPoint()
    {
        UseSimulator();
        Click(panelHandle, PANEL_BUTTONTEACH);
        QVERIFY(ProcessUntil([] { return StatusText() == "Parameter-frame received! - Line Ok!"; }));
        QCOMPARE(sensor->commandsReceived(ORDER_TEACH_SETPOINT), uint64_t{1});
        const uint16_t taught = sensor->ram()[8];
        QCOMPARE(Value(panelPopUp, POPUP_NEDITTEACH), int{taught});
        QCOMPARE(Value(panelHandle, PANEL_NUMTEACH), int{taught});
        QCOMPARE(tVal, taught);

        UsePeer(Greeted());
        QElapsedTimer clock;
        std::string during;
        After(300, [&] { during = StatusText(); });
        clock.start();
        Click(panelHandle, PANEL_BUTTONTEACH);
        QVERIFY(ProcessUntil([] { return StatusText() == "Timeout-RS-232..."; }));
        QCOMPARE(during, std::string("New setpoint value teached!"));
        QVERIFY(clock.elapsed() > 650 && clock.elapsed() < 1400);
    }

    // ---- the CCD-settings panel ------------------------------------------------------------------

    void ccdSettingsPanelToggles()
    {
        QCOMPARE(hidePopUp, uint16_t{1});
        Click(panelHandle, PANEL_BTNCCDSETTINGS);
        QVERIFY(ProcessUntil([] { return PanelWidget(panelPopUp)->isVisible(); }));
        QCOMPARE(hidePopUp, uint16_t{0});
        Click(panelHandle, PANEL_BTNCCDSETTINGS);
        QVERIFY(ProcessUntil([] { return !PanelWidget(panelPopUp)->isVisible(); }));
        QCOMPARE(hidePopUp, uint16_t{1});
    }
};

QTEST_APPLESS_MAIN(TestData)
#include "test_data.moc"
