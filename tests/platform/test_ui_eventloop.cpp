// The event loop: nested event processing, waits built on it, the timer control and quitting.
#include "uitest.h"


#include <QPushButton>

using namespace korva;
using namespace korva::uitest;

namespace {


int CountTicks(const std::vector<Seen>& seen, int panel)
{
    return static_cast<int>(std::count(seen.begin(), seen.end(), Seen{panel, TIMER, EVENT_TIMER_TICK}));
}

int g_panel = 0;
int g_ticksUntilQuit = 0;

// Timer callback that ends the event loop after a number of ticks.
int QuitAfterTicks(int, int, int event, void*, int, int)
{
    if (event == EVENT_TIMER_TICK && --g_ticksUntilQuit == 0)
        QuitUserInterface(7);
    return 0;
}

// Like a command: enables the timer and waits, processing events, until three ticks came.
int WaitForThreeTicks(int panel, int control, int event, void*, int, int)
{
    g_seen.push_back({panel, control, event});
    if (event != EVENT_COMMIT)
        return 0;
    SetCtrlAttribute(panel, TIMER, ATTR_ENABLED, 1);
    test::ProcessUntil([panel] { return CountTicks(g_seen, panel) >= 3; }, 2000);
    SetCtrlAttribute(panel, TIMER, ATTR_ENABLED, 0);
    g_seen.push_back({panel, control, kPressCallbackDone});
    return 0;
}

}  // namespace

class TestUiEventLoop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCOMPARE(InitUserInterface(0, nullptr), 1);
        RegisterTestCallbacks();
    }

    void init()
    {
        g_panel = LoadPanel(0, kPanelFile, 1);
        QVERIFY(g_panel > 0);
        TakeSeen();
    }

    void cleanup()
    {
        DiscardPanel(g_panel);
        TakeSeen();
        QVERIFY(!QuitRequested());
    }

    void processSystemEventsReturnsPromptlyWhenIdle()
    {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 100; ++i)
            ProcessSystemEvents();
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
    }

    // A wait loop built on ProcessSystemEvents sees the timer's ticks at their pace (what it costs
    // the processor is the benchmark's to measure).
    void waitLoopSeesTheTicks()
    {
        QCOMPARE(SetCtrlAttribute(g_panel, TIMER, ATTR_ENABLED, 1), 0);
        ProcessFor(1500);
        QCOMPARE(SetCtrlAttribute(g_panel, TIMER, ATTR_ENABLED, 0), 0);
        const int ticks = CountTicks(TakeSeen(), g_panel);
        QVERIFY2(ticks >= 20 && ticks <= 31, qPrintable(QStringLiteral("%1 ticks in 1.5 s").arg(ticks)));
    }

    void timerTicksOnlyWhileEnabled()
    {
        ProcessFor(200);
        QCOMPARE(CountTicks(TakeSeen(), g_panel), 0);
        QCOMPARE(SetCtrlAttribute(g_panel, TIMER, ATTR_ENABLED, 1), 0);
        ProcessFor(280);
        QVERIFY(CountTicks(TakeSeen(), g_panel) >= 3);
        QCOMPARE(SetCtrlAttribute(g_panel, TIMER, ATTR_ENABLED, 0), 0);
        ProcessFor(200);
        QCOMPARE(CountTicks(TakeSeen(), g_panel), 0);

        // A tick that fired but was not delivered yet when the timer is switched off never arrives.
        QCOMPARE(SetCtrlAttribute(g_panel, TIMER, ATTR_ENABLED, 1), 0);
        QVERIFY(QMetaObject::invokeMethod(CtrlWidget(g_panel, TIMER), "tick"));
        QCOMPARE(SetCtrlAttribute(g_panel, TIMER, ATTR_ENABLED, 0), 0);
        ProcessFor(200);
        QCOMPARE(CountTicks(TakeSeen(), g_panel), 0);
    }

    // A callback that waits with ProcessSystemEvents gets other callbacks nested inside it.
    void callbacksRunNestedInsideAWaitingCallback()
    {
        RegisterCtrlCallback("Record", WaitForThreeTicks);
        const int panel = LoadPanel(0, kPanelFile, 1);
        RegisterCtrlCallback("Record", Record);
        QVERIFY(panel > 0);
        TakeSeen();
        QTest::keyClick(Ctrl<QPushButton>(panel, BTN), Qt::Key_Space);
        const std::vector<Seen> seen = TakeSeen();
        QVERIFY(seen.size() == 5);
        QCOMPARE(seen.front(), (Seen{panel, BTN, EVENT_COMMIT}));
        QCOMPARE(seen.back(), (Seen{panel, BTN, kPressCallbackDone}));
        DiscardPanel(panel);
    }

    void runUserInterfaceEndsOnQuit()
    {
        RegisterCtrlCallback("Record", QuitAfterTicks);
        const int panel = LoadPanel(0, kPanelFile, 1);
        RegisterCtrlCallback("Record", Record);
        g_ticksUntilQuit = 3;
        QCOMPARE(SetCtrlAttribute(panel, TIMER, ATTR_ENABLED, 1), 0);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(RunUserInterface(), 7);
        QVERIFY(clock.elapsed() >= 100 && clock.elapsed() < 2000);
        QVERIFY(!QuitRequested());
        DiscardPanel(panel);

        // A quit asked for before the loop runs ends it at once.
        QuitUserInterface(0);
        QVERIFY(QuitRequested());
        QCOMPARE(RunUserInterface(), 0);
    }
};

QTEST_MAIN(TestUiEventLoop)
#include "test_ui_eventloop.moc"
