// Data blocks, the data loop, teaching and the setting controls, against a sensor on a real
// pseudo-terminal and through the real panel widgets.
#include "popup/PopUp.h"
#include "support/Program.h"


#include <QComboBox>
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

void After(int ms, std::function<void()> action)
{
    QTimer::singleShot(ms, std::move(action));
}

std::vector<GraphCurve> DataCurves()
{
    std::vector<GraphCurve> curves;
    GetGraphCurves(panelHandle, PANEL_GRAPHDATA, &curves);
    return curves;
}

// Chooses an item of a ring as the operator does, with the keyboard.
void ChooseRingItem(int panel, int control, int index)
{
    auto* ring = qobject_cast<QComboBox*>(Control(panel, control));
    ring->setFocus();
    while (ring->currentIndex() < index)
        QTest::keyClick(ring, Qt::Key_Down);
    while (ring->currentIndex() > index)
        QTest::keyClick(ring, Qt::Key_Up);
    Settle();
}

}  // namespace

class TestData : public QObject, public SensorOnCom1 {
    Q_OBJECT

    // A block read as the data loop makes it: the receive handler is off meanwhile.
    void ReadSecondHalf()
    {
        RemoveRxHandler(com);
        ReadData128(128, 1);
        InstallRxHandler(com);
    }

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
        UsePeer([](const Bytes& c) { return FrameOrder(c) == 9 ? Block(256, 0x12) : Bytes{}; });
        std::fill(std::begin(adcbuf), std::end(adcbuf), 0xBEEF);
        ReadSecondHalf();
        QCOMPARE(StatusText(), std::string("Data[128] block received!"));
        QCOMPARE(adcbuf[127], uint16_t{0xBEEF});
        QCOMPARE(adcbuf[128], uint16_t{0x1213});
        QCOMPARE(adcbuf[255], uint16_t{(0x12 + 254) % 256 * 256 + (0x12 + 255) % 256});
        const Bytes request = peer->Commands().back();
        QCOMPARE(FrameOrder(request), uint16_t{9});
        QCOMPARE(FrameWord(request, 0), uint16_t{128});
        QCOMPARE(FrameWord(request, 1), uint16_t{1});
        for (int i = 2; i < PNUM; ++i)
            QCOMPARE(FrameWord(request, i), uint16_t{0});

        peer->SetScript([](const Bytes&) { return Bytes{0x12, 0x34, 0, 0, 0, 0}; });
        peer->Send({0x55, 0x55});  // before the request: flushed, never counted
        Settle(50);
        RemoveRxHandler(com);
        ReadData64(0, 0);
        InstallRxHandler(com);
        QCOMPARE(adcbuf[0], uint16_t{0x1234});
        QCOMPARE(StatusText(), std::string("Timeout-RS-232 while reading 64 data-words!"));
    }

    void shortBlockTimesOut()
    {
        UsePeer([](const Bytes& c) { return FrameOrder(c) == 9 ? Block(200, 1) : Bytes{}; });
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
        UsePeer([](const Bytes& c) { return FrameOrder(c) == 9 ? Block(2000, 3) : Bytes{}; });
        StoreStatus("before");
        ReadSecondHalf();
        Settle(100);
        QVERIFY(nBytesR >= 256 && nBytesR <= 1024);
        QCOMPARE(adcbuf[128], uint16_t{0x0304});
        QCOMPARE(GetInQLen(com), 0);
        if (nBytesR != 256)
            QCOMPARE(StatusText(), std::string("before"));
    }

    void silentSensorLeavesStaleWords()
    {
        UsePeer({});
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
        Settle(100);  // the run's last order may still be on its way to the sensor

        const uint64_t ordersBefore = sensor->commandsReceived(8);
        bool graphEnabledDuringLoop = false;
        After(200, [&] { graphEnabledDuringLoop = !Dimmed(panelHandle, PANEL_GRAPHDATA); });
        After(500, [] { Click(panelHandle, PANEL_BTNSTOP); });
        Click(panelHandle, PANEL_BTNDATA);
        QVERIFY(ProcessUntil([] { return stop_flag == 1 && !Dimmed(panelHandle, PANEL_CMD14); }, 6000));
        QVERIFY(graphEnabledDuringLoop);
        QVERIFY(!PanelWidget(panelPopUp)->isVisible());
        QCOMPARE(hidePopUp, uint16_t{1});
        const uint64_t passes = sensor->commandsReceived(8) - ordersBefore;
        QVERIFY(passes >= 2);
        QCOMPARE(sensor->commandsReceived(9), 2 * passes);  // every pass completes
        const auto curves = DataCurves();
        QCOMPARE(curves.size(), size_t{2});
        QVERIFY(*std::max_element(curves[0].y.begin(), curves[0].y.end()) > 300);  // the bright line
        QVERIFY(Value(panelHandle, PANEL_NUMEDGE1) > 0);
        QCOMPARE(StatusText(), std::string("Data[128] block received!"));

        // The receive handler is back: Run works at once.
        const uint64_t before = sensor->commandsReceived(8);
        After(300, [] { Click(panelHandle, PANEL_BTNSTOP); });
        Click(panelHandle, PANEL_BTNRUN);
        QVERIFY(ProcessUntil([] { return stop_flag == 1 && !Dimmed(panelHandle, PANEL_CMD16); }));
        QVERIFY(sensor->commandsReceived(8) > before + 10);
    }

    void dataLoopWithoutSensor()
    {
        UsePeer({});
        QElapsedTimer clock;
        clock.start();
        Click(panelHandle, PANEL_BTNDATA);
        QVERIFY(ProcessUntil([] { return stop_flag == 1 && !Dimmed(panelHandle, PANEL_CMD16); }, 8000));
        QVERIFY2(clock.elapsed() > 4300, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(StatusText(), std::string("Timeout RS232-Line!"));
        QVERIFY(!Dimmed(panelHandle, PANEL_CMD14));
        QVERIFY(Dimmed(panelHandle, PANEL_CMD3));
        Click(panelHandle, PANEL_BTNSTOP);
        Settle();
    }

    // A greeting of the sensor that runs inside a block read (the port chosen again) waits nested
    // in it: the read goes on counting afterwards, times out, and Stop ends the loop.
    void portChosenAgainDuringABlockRead()
    {
        UseSimulator();
        const uint64_t checks = sensor->commandsReceived(7);
        Watchdog watchdog(8000);
        auto choose = When([] { return StatusText() == "Waiting for Data[128] ..."; }, [] {
            ChooseComPortAgain();
            QTest::mouseClick(Control(panelHandle, PANEL_BTNSTOP), Qt::LeftButton);
        });
        Click(panelHandle, PANEL_BTNDATA);
        QVERIFY(!watchdog.Fired());
        QCOMPARE(sensor->commandsReceived(7), checks + 1);
        QCOMPARE(stop_flag, 1);
        QVERIFY(!TickTimerRunning());
        QCOMPARE(ttick, uint16_t{0});
    }

    // Teach pressed while a data pass waits for a measurement the pulled cable never brings: the
    // measurement still times out after the teach's own wait and ends the loop.
    void teachDuringDataWithThePulledCable()
    {
        UseSimulator();
        sensor->stop();
        Watchdog watchdog(10000);
        bool pressed = false;
        auto teach = When([] { return StatusText() == "Timeout-RS-232 while reading 128 data-words!"; }, [&] {
            QTest::mouseClick(Control(panelHandle, PANEL_BUTTONTEACH), Qt::LeftButton);
            pressed = true;
        });
        Click(panelHandle, PANEL_BTNDATA);
        QVERIFY(pressed);
        QVERIFY(!watchdog.Fired());
        QCOMPARE(StatusText(), std::string("Timeout RS232-Line!"));
        QVERIFY(!TickTimerRunning());
        Click(panelHandle, PANEL_BTNSTOP);
    }

    // ---- teach -----------------------------------------------------------------------------------

    void teachSetPoint()
    {
        UseSimulator();
        Click(panelHandle, PANEL_BUTTONTEACH);
        QVERIFY(ProcessUntil([] { return StatusText() == "Parameter-frame received! - Line Ok!"; }));
        QCOMPARE(sensor->commandsReceived(5), uint64_t{1});
        const uint16_t taught = sensor->ram()[8];
        QCOMPARE(Value(panelPopUp, POPUP_NEDITTEACH), int{taught});
        QCOMPARE(Value(panelHandle, PANEL_NUMTEACH), int{taught});
        QCOMPARE(tVal, taught);

        UsePeer({});
        QElapsedTimer clock;
        std::string during;
        After(300, [&] { during = StatusText(); });
        clock.start();
        Click(panelHandle, PANEL_BUTTONTEACH);
        QVERIFY(ProcessUntil([] { return StatusText() == "Timeout-RS-232..."; }));
        QCOMPARE(during, std::string("New setpoint value teached!"));
        QVERIFY(clock.elapsed() > 650 && clock.elapsed() < 1400);
    }

    void teachBackground()
    {
        UseSimulator();
        bMode = 2;
        SetPanelValues();
        QVERIFY(!Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));
        int lampDuringPress = -1;
        bool dimmedDuringPress = false;
        After(5, [&] {
            lampDuringPress = Value(panelPopUp, POPUP_LEDTEACHBACKGROUND);
            dimmedDuringPress = Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND);
        });
        QWidget* button = Control(panelPopUp, POPUP_BTNTEACHBACKGROUND);
        DisplayPanel(panelPopUp);
        QTest::mousePress(button, Qt::LeftButton);
        QVERIFY(ProcessUntil([] { return StatusText() == "Teach order echo received! - Line Ok!"; }));
        Settle(100);
        QCOMPARE(lampDuringPress, 1);
        QVERIFY(dimmedDuringPress);
        QTest::mouseRelease(button, Qt::LeftButton);
        QVERIFY(ProcessUntil([] { return StatusText() == "Parameter-frame received! - Line Ok!"; }));
        QCOMPARE(Value(panelPopUp, POPUP_LEDTEACHBACKGROUND), 0);
        QVERIFY(!Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));
        QCOMPARE(sensor->commandsReceived(6), uint64_t{1});

        UsePeer({});
        ShowMessage("");
        Click(panelPopUp, POPUP_BTNTEACHBACKGROUND);
        QVERIFY(ProcessUntil([] { return StatusText() == "Timeout-RS-232..."; }));
        QVERIFY(ProcessUntil([] { return !Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND); }));
        QCOMPARE(Value(panelPopUp, POPUP_LEDTEACHBACKGROUND), 0);
        QCOMPARE(peer->Commands().size(), size_t{2});  // line check and the teach order: no read-back
        HidePanel(panelPopUp);
    }

    void teachAndToleranceMirrors()
    {
        SetCtrlVal(panelPopUp, POPUP_NEDITTEACH, 700);
        CC_NEDITTeach(panelPopUp, POPUP_NEDITTEACH, EVENT_VAL_CHANGED, nullptr, 0, 0);
        QCOMPARE(Value(panelHandle, PANEL_NUMTEACH), 512);
        CC_NEDITTeach(panelPopUp, POPUP_NEDITTEACH, EVENT_COMMIT, nullptr, 0, 0);
        QCOMPARE(Value(panelHandle, PANEL_NUMTEACH), 700);
        SetCtrlVal(panelPopUp, POPUP_NEDITTOLERANCE, 33);
        CC_NEDITTolerance(panelPopUp, POPUP_NEDITTOLERANCE, EVENT_VAL_CHANGED, nullptr, 0, 0);
        QCOMPARE(Value(panelHandle, PANEL_NUMTOLERANCE), 33);
        QCOMPARE(tVal, uint16_t{512});
        QCOMPARE(tTol, uint16_t{100});
    }

    // ---- setting controls ------------------------------------------------------------------------

    void startStatesAgreeWithStartValues()
    {
        QVERIFY(Dimmed(panelPopUp, POPUP_NSLIDEPIXELSTART));
        QVERIFY(Dimmed(panelPopUp, POPUP_NUMPIXELEND));
        QVERIFY(Dimmed(panelPopUp, POPUP_BACKGROUNDVALUE));
        QVERIFY(!Dimmed(panelPopUp, POPUP_NEDITTOLERANCE));
    }

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

    void modeRingsDimAndEnable()
    {
        DisplayPanel(panelPopUp);
        ChooseRingItem(panelPopUp, POPUP_RINGCCDMODE, 1);
        QVERIFY(!Dimmed(panelPopUp, POPUP_NSLIDEPIXELSTART));
        QVERIFY(!Dimmed(panelPopUp, POPUP_NUMPIXELEND));
        ChooseRingItem(panelPopUp, POPUP_RINGCCDMODE, 2);
        QVERIFY(Dimmed(panelPopUp, POPUP_NSLIDEPIXELSTART));
        QVERIFY(Dimmed(panelPopUp, POPUP_NUMPIXELEND));
        QCOMPARE(ccdMode, uint16_t{0});  // taken when the panel is next read

        ChooseRingItem(panelPopUp, POPUP_RINGCCDBGMODE, 1);
        QVERIFY(!Dimmed(panelPopUp, POPUP_BACKGROUNDVALUE));
        QVERIFY(Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));
        ChooseRingItem(panelPopUp, POPUP_RINGCCDBGMODE, 2);
        QVERIFY(Dimmed(panelPopUp, POPUP_BACKGROUNDVALUE));
        QVERIFY(!Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));
        QVERIFY(!Dimmed(panelPopUp, POPUP_LEDTEACHBACKGROUND));
        ChooseRingItem(panelPopUp, POPUP_RINGCCDBGMODE, 0);
        QVERIFY(Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));

        stop_flag = 0;  // as while a loop runs
        CC_RING_CCDBGMode(panelPopUp, POPUP_RINGCCDBGMODE, EVENT_VAL_CHANGED, nullptr, 0, 0);
        SetCtrlVal(panelPopUp, POPUP_RINGCCDBGMODE, 2);
        CC_RING_CCDBGMode(panelPopUp, POPUP_RINGCCDBGMODE, EVENT_VAL_CHANGED, nullptr, 0, 0);
        QVERIFY(Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));
        stop_flag = 1;
        HidePanel(panelPopUp);
    }

    void switchAndSlide()
    {
        DisplayPanel(panelPopUp);
        Click(panelPopUp, POPUP_BINSWENABLETOL);
        QVERIFY(ProcessUntil([] { return Dimmed(panelPopUp, POPUP_NEDITTOLERANCE); }));
        Click(panelPopUp, POPUP_BINSWENABLETOL);
        QVERIFY(ProcessUntil([] { return !Dimmed(panelPopUp, POPUP_NEDITTOLERANCE); }));

        SetCtrlVal(panelPopUp, POPUP_NSLIDEPIXELSTART, 300);
        CC_NSLIDE_PixelStart(panelPopUp, POPUP_NSLIDEPIXELSTART, EVENT_VAL_CHANGED, nullptr, 0, 0);
        QCOMPARE(Value(panelPopUp, POPUP_NUMPIXELEND), 555);
        QCOMPARE(pStart, uint16_t{1});
        HidePanel(panelPopUp);
    }
};

QTEST_APPLESS_MAIN(TestData)
#include "test_data.moc"
