// The callbacks of the CCD-settings panel through its real widgets: the CCD and background
// modes, the tolerance switch, the pixel window, the background teach and the mirrors of teach
// value and tolerance on the main panel.
#include "popup/PopUp.h"
#include "support/Program.h"
#include "support/SensorOnCom1.h"

#include <QComboBox>

using namespace korva;
using namespace korva::test;

namespace {

// Chooses an item of a ring as the operator does, with the keyboard.
void ChooseRingItem(int panel, int control, int index)
{
    auto* ring = qobject_cast<QComboBox*>(Control(panel, control));
    ring->setFocus();
    while (ring->currentIndex() < index)
        QTest::keyClick(ring, Qt::Key_Down);
    while (ring->currentIndex() > index)
        QTest::keyClick(ring, Qt::Key_Up);
    ProcessFor();
}

}  // namespace

class TestPopUp : public QObject, public SensorOnCom1 {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(StartProgram()); }

    void init()
    {
        SetParameterStartValues();
        SetPanelValues();
    }

    void startStatesAgreeWithStartValues()
    {
        QVERIFY(Dimmed(panelPopUp, POPUP_NSLIDEPIXELSTART));
        QVERIFY(Dimmed(panelPopUp, POPUP_NUMPIXELEND));
        QVERIFY(Dimmed(panelPopUp, POPUP_BACKGROUNDVALUE));
        QVERIFY(!Dimmed(panelPopUp, POPUP_NEDITTOLERANCE));
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
        ProcessFor(100);
        QCOMPARE(lampDuringPress, 1);
        QVERIFY(dimmedDuringPress);
        QTest::mouseRelease(button, Qt::LeftButton);
        QVERIFY(ProcessUntil([] { return StatusText() == "Parameter-frame received! - Line Ok!"; }));
        QCOMPARE(Value(panelPopUp, POPUP_LEDTEACHBACKGROUND), 0);
        QVERIFY(!Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND));
        QCOMPARE(sensor->commandsReceived(ORDER_TEACH_BACKGROUND), uint64_t{1});

        UsePeer(Greeted());
        ShowMessage("");
        Click(panelPopUp, POPUP_BTNTEACHBACKGROUND);
        QVERIFY(ProcessUntil([] { return StatusText() == "Timeout-RS-232..."; }));
        QVERIFY(ProcessUntil([] { return !Dimmed(panelPopUp, POPUP_BTNTEACHBACKGROUND); }));
        QCOMPARE(Value(panelPopUp, POPUP_LEDTEACHBACKGROUND), 0);
        QCOMPARE(peer->Commands().size(), size_t{3});  // the greeting and the teach order: no read-back
        HidePanel(panelPopUp);
    }
};

QTEST_APPLESS_MAIN(TestPopUp)
#include "test_popup.moc"
