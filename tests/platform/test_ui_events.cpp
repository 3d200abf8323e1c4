// Operator input on real widgets of a loaded panel, and the events it gives the callbacks.
#include "uitest.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyleOptionSlider>
#include <QStyleOptionSpinBox>

using namespace korva;
using namespace korva::uitest;

namespace {

// Radio buttons and switches react only on their box and caption, at the left.
QPoint OnTheBox(QWidget* widget)
{
    return {6, widget->height() / 2};
}

QRect SpinUpArrow(QSpinBox* spin)
{
    QStyleOptionSpinBox option;
    option.initFrom(spin);
    option.subControls = QStyle::SC_All;
    option.buttonSymbols = spin->buttonSymbols();
    option.frame = spin->hasFrame();
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    return spin->style()->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, spin);
}

QRect SliderHandle(QSlider* slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.subControls = QStyle::SC_All;
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
}

// The press opens the file dialog over its panel, as Send to a file does; the dialog goes with
// the panel.
int OpenDialogOnPress(int panel, int control, int event, void*, int, int)
{
    g_seen.push_back({panel, control, event});
    if (event == EVENT_LEFT_CLICK)
        FileSelectPopupThen(panel, QDir::tempPath().toStdString(), "KORVApara.dat", "*.dat", "Save", VAL_OK_BUTTON,
                            [](const std::string&) {});
    return 0;
}

void* g_dataSeen = nullptr;

int RecordData(int panel, int control, int event, void* data, int, int)
{
    g_dataSeen = data;
    return Record(panel, control, event, data, 0, 0);
}

}  // namespace

class TestUiEvents : public QObject {
    Q_OBJECT

    int m_panel = 0;

private slots:
    void initTestCase()
    {
        m_panel = ShowTestPanel();
        QVERIFY(m_panel > 0);
    }

    void init()
    {
        PanelWidget(m_panel)->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(PanelWidget(m_panel)));
        TakeSeen();
    }

    void buttonMouseClickGivesLeftClickThenCommitOnRelease()
    {
        auto* button = Ctrl<QPushButton>(m_panel, BTN);
        QTest::mousePress(button, Qt::LeftButton);
        QCOMPARE(TakeEvents(m_panel, BTN), QList<int>{EVENT_LEFT_CLICK});
        QTest::mouseRelease(button, Qt::LeftButton);
        QCOMPARE(TakeEvents(m_panel, BTN), QList<int>{EVENT_COMMIT});

        // A release away from the button cancels the click.
        QTest::mousePress(button, Qt::LeftButton);
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(-20, -20));
        QCOMPARE(TakeEvents(m_panel, BTN), QList<int>{EVENT_LEFT_CLICK});

        // Other mouse buttons are no left clicks.
        QTest::mouseClick(button, Qt::RightButton);
        QCOMPARE(TakeEvents(m_panel, BTN), QList<int>{});
    }

    void buttonKeyboardGivesCommitOnly()
    {
        auto* button = Ctrl<QPushButton>(m_panel, BTN);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
        QCOMPARE(TakeEvents(m_panel, BTN), QList<int>{EVENT_COMMIT});
        QTest::keyClick(button, Qt::Key_Return);
        QCOMPARE(TakeEvents(m_panel, BTN), QList<int>{EVENT_COMMIT});
    }

    // A control's callback gets the data registered with it, as a dispatcher its table entry.
    void callbackGetsTheDataRegisteredWithIt()
    {
        int entry = 0;
        RegisterCtrlCallback("Record", RecordData, &entry);
        const int panel = LoadPanel(0, kPanelFile, 1);
        RegisterCtrlCallback("Record", Record);
        QVERIFY(panel > 0);
        QTest::keyClick(Ctrl<QPushButton>(panel, BTN), Qt::Key_Space);
        QCOMPARE(TakeEvents(panel, BTN), QList<int>{EVENT_COMMIT});
        QCOMPARE(g_dataSeen, static_cast<void*>(&entry));
        DiscardPanel(panel);
    }

    // The press callback dims its own button and waits; the release arrives meanwhile. The commit
    // must still come, and only after the press callback has returned.
    void buttonDimmedByItsPressStillCommitsAfterThePressCallback()
    {
        auto* button = Ctrl<QPushButton>(m_panel, BTNDIMS);
        QTimer::singleShot(50, button, [button] { QTest::mouseRelease(button, Qt::LeftButton); });
        QTest::mousePress(button, Qt::LeftButton);
        ProcessFor(300);
        QCOMPARE(TakeEvents(m_panel, BTNDIMS), (QList<int>{EVENT_LEFT_CLICK, kPressCallbackDone, EVENT_COMMIT}));
        QVERIFY(button->isEnabled());

        // Released outside: no commit, the button stays dimmed.
        QTimer::singleShot(50, button, [button] { QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(-20, -20)); });
        QTest::mousePress(button, Qt::LeftButton);
        ProcessFor(300);
        QCOMPARE(TakeEvents(m_panel, BTNDIMS), (QList<int>{EVENT_LEFT_CLICK, kPressCallbackDone}));
        QVERIFY(!button->isEnabled());
        QCOMPARE(SetCtrlAttribute(m_panel, BTNDIMS, ATTR_DIMMED, 0), 0);
    }

    // Like Send to a file: the dialog opens while the mouse button is still down, and the release
    // goes to the window the dialog blocks. The button must not stay pressed.
    void buttonWhosePressOpensADialogDoesNotStayDown()
    {
        RegisterCtrlCallback("Record", OpenDialogOnPress);
        const int panel = LoadPanel(0, kPanelFile, 1);
        RegisterCtrlCallback("Record", Record);
        DisplayPanel(panel);
        QVERIFY(QTest::qWaitForWindowExposed(PanelWidget(panel)));
        auto* button = Ctrl<QPushButton>(panel, BTN);
        QTest::mousePress(button, Qt::LeftButton);
        QCOMPARE(TakeEvents(panel, BTN), QList<int>{EVENT_LEFT_CLICK});
        QVERIFY(!button->isDown());
        DiscardPanel(panel);
    }

    void dimmedControlsRaiseNothing()
    {
        for (int control : {BTN, NUM, RING, SLIDE, NUMSLIDE, RADIO, SWITCH})
            QCOMPARE(SetCtrlAttribute(m_panel, control, ATTR_DIMMED, 1), 0);

        QTest::mouseClick(Ctrl<QPushButton>(m_panel, BTN), Qt::LeftButton);
        QTest::keyClick(Ctrl<QPushButton>(m_panel, BTN), Qt::Key_Space);
        QTest::mouseClick(Ctrl<QSpinBox>(m_panel, NUM), Qt::LeftButton);
        QTest::keyClick(Ctrl<QSpinBox>(m_panel, NUM), Qt::Key_Up);
        QTest::mouseClick(Ctrl<QComboBox>(m_panel, RING), Qt::LeftButton);
        QTest::keyClick(Ctrl<QComboBox>(m_panel, RING), Qt::Key_Down);
        QTest::keyClick(Ctrl<QSlider>(m_panel, SLIDE), Qt::Key_Right);
        QTest::mouseClick(Ctrl<QRadioButton>(m_panel, RADIO), Qt::LeftButton, {}, OnTheBox(CtrlWidget(m_panel, RADIO)));
        QTest::mouseClick(Ctrl<QCheckBox>(m_panel, SWITCH), Qt::LeftButton, {}, OnTheBox(CtrlWidget(m_panel, SWITCH)));
        QTest::mouseClick(Ctrl<QSpinBox>(m_panel, NUMDIMMED), Qt::LeftButton);
        QCOMPARE(TakeSeen().size(), size_t(0));
        int dimmed = 0;
        QCOMPARE(GetCtrlAttribute(m_panel, NUMDIMMED, ATTR_DIMMED, &dimmed), 0);
        QCOMPARE(dimmed, 1);

        for (int control : {BTN, NUM, RING, SLIDE, NUMSLIDE, RADIO, SWITCH})
            QCOMPARE(SetCtrlAttribute(m_panel, control, ATTR_DIMMED, 0), 0);
        QTest::mouseClick(Ctrl<QPushButton>(m_panel, BTN), Qt::LeftButton);
        QCOMPARE(TakeEvents(m_panel, BTN), (QList<int>{EVENT_LEFT_CLICK, EVENT_COMMIT}));
    }

    void programValuesRunNoCallback()
    {
        QCOMPARE(SetCtrlVal(m_panel, NUM, 77), 0);
        QCOMPARE(SetCtrlVal(m_panel, RING, 30), 0);
        QCOMPARE(SetCtrlVal(m_panel, RING, 7), 0);  // not an item value
        QCOMPARE(SetCtrlVal(m_panel, RING, 10), 0);
        QCOMPARE(SetCtrlVal(m_panel, RINGIDX, 1), 0);
        QCOMPARE(SetCtrlVal(m_panel, SLIDE, 40), 0);
        QCOMPARE(SetCtrlVal(m_panel, NUMSLIDE, 300), 0);
        QCOMPARE(SetCtrlVal(m_panel, RADIO, 1), 0);
        QCOMPARE(SetCtrlVal(m_panel, SWITCH, 1), 0);
        QCOMPARE(SetCtrlVal(m_panel, BTN, "Renamed"), 0);
        QCOMPARE(TakeSeen().size(), size_t(0));

        int value = 0;
        QCOMPARE(GetCtrlVal(m_panel, NUMSLIDE, &value), 0);
        QCOMPARE(value, 300);
        QCOMPARE(GetCtrlVal(m_panel, RADIO, &value), 0);
        QCOMPARE(value, 1);
        SetCtrlVal(m_panel, RADIO, 0);
        SetCtrlVal(m_panel, SWITCH, 0);
        SetCtrlVal(m_panel, BTN, "Press");
    }

    void ringChoices()
    {
        auto* ring = Ctrl<QComboBox>(m_panel, RING);
        QCOMPARE(SetCtrlVal(m_panel, RING, 10), 0);

        // The press opens the list; a new item is a change and a commit.
        QTest::mouseClick(ring, Qt::LeftButton);
        QTRY_VERIFY(ring->view()->isVisible());
        QCOMPARE(TakeEvents(m_panel, RING), QList<int>{EVENT_LEFT_CLICK});
        QTest::keyClick(ring->view(), Qt::Key_Down);
        QTest::keyClick(ring->view(), Qt::Key_Return);
        QCOMPARE(TakeEvents(m_panel, RING), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        int value = 0;
        QCOMPARE(GetCtrlVal(m_panel, RING, &value), 0);
        QCOMPARE(value, 20);

        // Choosing the same item again, with the mouse this time: a commit only.
        ring->showPopup();
        QTRY_VERIFY(ring->view()->isVisible());
        QTest::qWait(QApplication::doubleClickInterval() + 100);  // the list ignores too quick a release
        QAbstractItemView* view = ring->view();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(1, 0)).center());
        QCOMPARE(TakeEvents(m_panel, RING), QList<int>{EVENT_COMMIT});
        QVERIFY(!view->isVisible());

        // Arrow keys on the closed ring choose too.
        QTest::keyClick(ring, Qt::Key_Down);
        QCOMPARE(TakeEvents(m_panel, RING), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        QCOMPARE(GetCtrlVal(m_panel, RING, &value), 0);
        QCOMPARE(value, 30);
    }

    // A value no item has is shown as an extra item until the ring holds a listed value again.
    void ringKeepsUnlistedValue()
    {
        auto* ring = Ctrl<QComboBox>(m_panel, RING);
        QCOMPARE(SetCtrlVal(m_panel, RING, 7), 0);
        int value = 0;
        QCOMPARE(GetCtrlVal(m_panel, RING, &value), 0);
        QCOMPARE(value, 7);
        QCOMPARE(ring->currentText(), QStringLiteral("7"));
        QCOMPARE(ring->count(), 4);
        QCOMPARE(SetCtrlVal(m_panel, RING, 8), 0);
        QCOMPARE(ring->count(), 4);
        QCOMPARE(ring->currentText(), QStringLiteral("8"));

        // The operator's choice of a listed item removes the extra item.
        QTest::keyClick(ring, Qt::Key_Home);
        QCOMPARE(TakeEvents(m_panel, RING), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        QCOMPARE(ring->count(), 3);
        QCOMPARE(GetCtrlVal(m_panel, RING, &value), 0);
        QCOMPARE(value, 10);

        QCOMPARE(SetCtrlVal(m_panel, RING, 9), 0);
        QCOMPARE(SetCtrlVal(m_panel, RING, 20), 0);
        QCOMPARE(ring->count(), 3);
        QCOMPARE(SetRingItemLabel(m_panel, RING, 30, "COM30 (/dev/ttyUSB0)"), 0);
        QCOMPARE(ring->itemText(2), QStringLiteral("COM30 (/dev/ttyUSB0)"));
        QVERIFY(SetRingItemLabel(m_panel, RING, 31, "none") < 0);

        // A label as long as a device path can be is shortened in the middle, whole in the tooltip;
        // the ring does not widen its window to it.
        const QString path = QStringLiteral("COM30 (%1)").arg(QString(5000, QLatin1Char('a')));
        const int panel = LoadPanel(0, kPanelFile, 1);
        QCOMPARE(SetRingItemLabel(panel, RING, 30, path.toUtf8().constData()), 0);
        DisplayPanel(panel);
        QVERIFY(QTest::qWaitForWindowExposed(PanelWidget(panel)));
        QCOMPARE(PanelWidget(panel)->size(), PanelWidget(m_panel)->size());
        auto* longRing = Ctrl<QComboBox>(panel, RING);
        QVERIFY(longRing->itemText(2).startsWith(QStringLiteral("COM30 (aaa")));
        QVERIFY(longRing->itemText(2).size() < 100);
        QCOMPARE(longRing->itemData(2, Qt::ToolTipRole).toString(), path);
        DiscardPanel(panel);

        // Without itemValues the values are the indexes.
        QCOMPARE(SetCtrlVal(m_panel, RINGIDX, 1), 0);
        QCOMPARE(Ctrl<QComboBox>(m_panel, RINGIDX)->currentText(), QStringLiteral("One"));
    }

    void radioButtonsAndSwitchesToggle()
    {
        auto* radio = Ctrl<QRadioButton>(m_panel, RADIO);
        QVERIFY(!radio->autoExclusive());  // the panel file says true; the program keeps the groups
        SetCtrlVal(m_panel, RADIO, 0);
        int value = -1;
        QTest::mouseClick(radio, Qt::LeftButton, {}, OnTheBox(radio));
        QCOMPARE(TakeEvents(m_panel, RADIO), (QList<int>{EVENT_LEFT_CLICK, EVENT_VAL_CHANGED, EVENT_COMMIT}));
        QCOMPARE(GetCtrlVal(m_panel, RADIO, &value), 0);
        QCOMPARE(value, 1);
        QTest::mouseClick(radio, Qt::LeftButton, {}, OnTheBox(radio));  // a checked radio button unchecks
        QCOMPARE(TakeEvents(m_panel, RADIO), (QList<int>{EVENT_LEFT_CLICK, EVENT_VAL_CHANGED, EVENT_COMMIT}));
        QCOMPARE(GetCtrlVal(m_panel, RADIO, &value), 0);
        QCOMPARE(value, 0);

        auto* toggle = Ctrl<QCheckBox>(m_panel, SWITCH);
        SetCtrlVal(m_panel, SWITCH, 0);
        QTest::keyClick(toggle, Qt::Key_Space);
        QCOMPARE(TakeEvents(m_panel, SWITCH), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        QCOMPARE(GetCtrlVal(m_panel, SWITCH, &value), 0);
        QCOMPARE(value, 1);
    }

    void numericChangesAndCommits()
    {
        auto* spin = Ctrl<QSpinBox>(m_panel, NUM);
        auto* edit = spin->findChild<QLineEdit*>();
        QVERIFY(edit != nullptr);
        SetCtrlVal(m_panel, NUM, 5);
        spin->setFocus();
        QTRY_VERIFY(spin->hasFocus());
        TakeSeen();

        // Every keystroke is a change; Enter commits.
        spin->selectAll();
        QTest::keyClicks(spin, "42");
        QCOMPARE(TakeEvents(m_panel, NUM), (QList<int>{EVENT_VAL_CHANGED, EVENT_VAL_CHANGED}));
        QTest::keyClick(spin, Qt::Key_Return);
        QCOMPARE(TakeEvents(m_panel, NUM), QList<int>{EVENT_COMMIT});

        // A step is a change and a commit at once.
        QTest::keyClick(spin, Qt::Key_Up);
        QCOMPARE(TakeEvents(m_panel, NUM), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        int value = 0;
        QCOMPARE(GetCtrlVal(m_panel, NUM, &value), 0);
        QCOMPARE(value, 43);

        // Leaving with a changed value commits; leaving unchanged does not.
        spin->selectAll();
        QTest::keyClicks(spin, "7");
        Ctrl<QPushButton>(m_panel, BTN)->setFocus();
        QCOMPARE(TakeEvents(m_panel, NUM), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        spin->setFocus();
        Ctrl<QPushButton>(m_panel, BTN)->setFocus();
        QCOMPARE(TakeEvents(m_panel, NUM), QList<int>{});

        // A value the program sets while the numeric has the focus is no entry: leaving commits
        // nothing. The operator's own edit afterwards still does.
        spin->setFocus();
        QCOMPARE(SetCtrlVal(m_panel, NUM, 60), 0);
        Ctrl<QPushButton>(m_panel, BTN)->setFocus();
        QCOMPARE(TakeEvents(m_panel, NUM), QList<int>{});
        spin->setFocus();
        QCOMPARE(SetCtrlVal(m_panel, NUM, 61), 0);
        spin->selectAll();
        QTest::keyClicks(spin, "7");
        Ctrl<QPushButton>(m_panel, BTN)->setFocus();
        QCOMPARE(TakeEvents(m_panel, NUM), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));

        // A press on the text is a left click; on the up arrow a left click before the step.
        QTest::mouseClick(edit, Qt::LeftButton);
        QCOMPARE(TakeEvents(m_panel, NUM), QList<int>{EVENT_LEFT_CLICK});
        QTest::mouseClick(spin, Qt::LeftButton, {}, SpinUpArrow(spin).center());
        QCOMPARE(TakeEvents(m_panel, NUM), (QList<int>{EVENT_LEFT_CLICK, EVENT_VAL_CHANGED, EVENT_COMMIT}));
        QCOMPARE(GetCtrlVal(m_panel, NUM, &value), 0);
        QCOMPARE(value, 8);
    }

    void slideDragCommitsOnRelease()
    {
        auto* slider = Ctrl<QSlider>(m_panel, SLIDE);
        SetCtrlVal(m_panel, SLIDE, 0);
        const QPoint handle = SliderHandle(slider).center();
        QTest::mousePress(slider, Qt::LeftButton, {}, handle);
        QTest::mouseMove(slider, handle + QPoint(slider->width() / 4, 0));
        QTest::mouseMove(slider, handle + QPoint(slider->width() / 2, 0));
        const QList<int> dragging = TakeEvents(m_panel, SLIDE);
        QCOMPARE(dragging.value(0), int(EVENT_LEFT_CLICK));
        QCOMPARE(dragging.count(EVENT_VAL_CHANGED), 2);
        QVERIFY(!dragging.contains(EVENT_COMMIT));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, handle + QPoint(slider->width() / 2, 0));
        QCOMPARE(TakeEvents(m_panel, SLIDE), QList<int>{EVENT_COMMIT});
        int value = 0;
        QCOMPARE(GetCtrlVal(m_panel, SLIDE, &value), 0);
        QVERIFY(value > 30 && value < 70);

        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(TakeEvents(m_panel, SLIDE), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    }

    void numericSlideShowsItsValue()
    {
        auto* slide = CtrlWidget(m_panel, NUMSLIDE);
        auto* slider = slide->findChild<QSlider*>();
        auto* number = slide->findChild<QLabel*>();
        QVERIFY(slider != nullptr && number != nullptr);
        QCOMPARE(SetCtrlVal(m_panel, NUMSLIDE, 1), 0);
        QCOMPARE(number->text(), QStringLiteral("1"));
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(TakeEvents(m_panel, NUMSLIDE), (QList<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
        int value = 0;
        QCOMPARE(GetCtrlVal(m_panel, NUMSLIDE, &value), 0);
        QVERIFY(value > 1);
        QCOMPARE(number->text(), QString::number(value));
        QCOMPARE(slider->accessibleName(), slide->accessibleName());

        // UI automation finds the control by its description and reads the value there.
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(slide);
        QVERIFY(accessible != nullptr && accessible->valueInterface() != nullptr);
        QCOMPARE(accessible->text(QAccessible::Description), QStringLiteral("NUMSLIDE"));
        QCOMPARE(accessible->text(QAccessible::Value), QString::number(value));
        QCOMPARE(accessible->valueInterface()->currentValue().toInt(), value);
        QCOMPARE(accessible->valueInterface()->maximumValue().toInt(), 1023);
        QCOMPARE(SetCtrlVal(m_panel, NUMSLIDE, 500), 0);
        QCOMPARE(accessible->text(QAccessible::Value), QStringLiteral("500"));

        // A press on the number counts once, as a press on the control.
        QTest::mouseClick(number, Qt::LeftButton);
        QCOMPARE(TakeEvents(m_panel, NUMSLIDE), QList<int>{EVENT_LEFT_CLICK});
    }

    void lampIsAnIndicatorOnly()
    {
        auto* lamp = Ctrl<QAbstractButton>(m_panel, LAMP);
        QCOMPARE(lamp->focusPolicy(), Qt::NoFocus);
        QCOMPARE(SetCtrlVal(m_panel, LAMP, 1), 0);
        QTest::mouseClick(lamp, Qt::LeftButton);
        QTest::keyClick(lamp, Qt::Key_Space);
        int value = 0;
        QCOMPARE(GetCtrlVal(m_panel, LAMP, &value), 0);
        QCOMPARE(value, 1);

        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(lamp);
        QVERIFY(accessible != nullptr);
        QVERIFY(accessible->state().checkable);
        QVERIFY(accessible->state().checked);
        SetCtrlVal(m_panel, LAMP, 0);
        QVERIFY(!accessible->state().checked);

        // A dimmed lamp looks dimmed: its lit face fades toward the background.
        SetCtrlVal(m_panel, LAMP, 1);
        const auto face = [lamp] { return lamp->grab().toImage().pixelColor(lamp->rect().center()); };
        const QColor lit = face();
        QCOMPARE(SetCtrlAttribute(m_panel, LAMP, ATTR_DIMMED, 1), 0);
        const QColor dimmed = face();
        QCOMPARE(SetCtrlAttribute(m_panel, LAMP, ATTR_DIMMED, 0), 0);
        SetCtrlVal(m_panel, LAMP, 0);
        QVERIFY2(dimmed.hsvSaturation() < lit.hsvSaturation() * 3 / 4,
                 qPrintable(QStringLiteral("%1 dimmed %2").arg(lit.name(), dimmed.name())));
    }

    void statusLineAccessibleNameFollowsText()
    {
        QCOMPARE(SetCtrlVal(m_panel, STATUS, "Line Ok!"), 0);
        auto* status = Ctrl<QLabel>(m_panel, STATUS);
        QCOMPARE(status->text(), QStringLiteral("Line Ok!"));
        QCOMPARE(status->accessibleName(), QStringLiteral("Line Ok!"));
        std::string text;
        QCOMPARE(GetCtrlVal(m_panel, STATUS, &text), 0);
        QCOMPARE(text, std::string("Line Ok!"));
    }
};

QTEST_MAIN(TestUiEvents)
#include "test_ui_events.moc"
