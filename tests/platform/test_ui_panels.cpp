// Loading, showing and discarding panels, panel events, control values and attributes, and text
// messages created at run time.
#include "support/PaintCounter.h"
#include "uitest.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <algorithm>

using namespace korva;
using namespace korva::uitest;

namespace {

QString TestPanelPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kPanelFile);
}

// A copy of the test panel file with one piece of text replaced.
QString EditedPanelFile(const QTemporaryDir& dir, const QString& from, const QString& to)
{
    QFile original(TestPanelPath());
    if (!original.open(QIODevice::ReadOnly))
        qFatal("test panel file missing");
    QString text = QString::fromUtf8(original.readAll());
    if (!text.contains(from))
        qFatal("test panel file does not contain %s", qPrintable(from));
    text.replace(from, to);
    const QString path = dir.filePath(QStringLiteral("edited.ui"));
    QFile edited(path);
    if (!edited.open(QIODevice::WriteOnly) || edited.write(text.toUtf8()) < 0)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

int LoadFile(const QString& path)
{
    return LoadPanel(0, path.toUtf8().constData(), 1);
}

bool Near(QRgb actual, int expected)
{
    const QColor a = QColor::fromRgb(actual);
    const QColor e = QColor::fromRgb(static_cast<QRgb>(expected));
    return qAbs(a.red() - e.red()) < 8 && qAbs(a.green() - e.green()) < 8 && qAbs(a.blue() - e.blue()) < 8;
}

}  // namespace

class TestUiPanels : public QObject {
    Q_OBJECT

    int m_main = 0;
    int m_child = 0;

private slots:
    void initTestCase()
    {
        QCOMPARE(InitUserInterface(0, nullptr), 1);
        RegisterTestCallbacks();
    }

    void init()
    {
        m_main = LoadPanel(0, kPanelFile, 1);
        m_child = LoadPanel(m_main, kPanelFile, 2);
        QVERIFY(m_main > 0);
        QVERIFY(m_child > 0);
        TakeSeen();
    }

    void cleanup()
    {
        DiscardPanel(m_main);
        TakeSeen();
    }

    void loadFailures()
    {
        QTemporaryDir dir;
        QCOMPARE(LoadPanel(0, "no-such-panel-file.ui", 1), int(UIE_FILE_ACCESS));
        QCOMPARE(LoadPanel(0, kPanelFile, 7), int(UIE_PANEL_NOT_FOUND));
        QCOMPARE(LoadPanel(m_main, kPanelFile, 7), int(UIE_PANEL_NOT_FOUND));
        QCOMPARE(LoadPanel(9999, kPanelFile, 2), int(UIE_NO_PANEL));

        const QString broken = dir.filePath(QStringLiteral("broken.ui"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<ui version=\"4.0\"><widget class=\"QWidget\"");
        file.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Premature end of document")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("broken.ui")));
        QVERIFY(LoadFile(broken) < 0);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("callback Missing of BTNDIMS")));
        QCOMPARE(LoadFile(EditedPanelFile(dir, QStringLiteral("DimOnPress"), QStringLiteral("Missing"))),
                 int(UIE_CALLBACK_NOT_FOUND));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("panel callback MissingPanel")));
        QCOMPARE(LoadFile(EditedPanelFile(dir, QStringLiteral("RecordPanel"), QStringLiteral("MissingPanel"))),
                 int(UIE_CALLBACK_NOT_FOUND));
        QCOMPARE(LoadFile(EditedPanelFile(dir, QStringLiteral("10,20,30"), QStringLiteral("10,20"))),
                 int(UIE_FILE_FORMAT));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("identifier 14 is used twice")));
        QCOMPARE(LoadFile(EditedPanelFile(dir, QStringLiteral("<number>15</number>"),
                                          QStringLiteral("<number>14</number>"))),
                 int(UIE_FILE_FORMAT));

        // The child panel comes from its parent's file only.
        const QString copy = EditedPanelFile(dir, QStringLiteral("Filler"), QStringLiteral("Other filler"));
        QCOMPARE(LoadPanel(m_main, copy.toUtf8().constData(), 2), int(UIE_PANEL_NOT_FOUND));
        QCOMPARE(LoadPanel(m_main, kPanelFile, 2), m_child);
    }

    void loadedPanelsStartHiddenWithTheirOwnControls()
    {
        QVERIFY(m_main != m_child);
        QVERIFY(!PanelWidget(m_main)->isVisible());
        QVERIFY(PanelWidget(m_child)->isHidden());
        QVERIFY(PanelWidget(m_main)->isAncestorOf(PanelWidget(m_child)));

        // Identifier 1 is BTN on the main panel and CHILD_BTN on the child panel.
        QCOMPARE(CtrlWidget(m_main, BTN)->objectName(), QStringLiteral("BTN"));
        QCOMPARE(CtrlWidget(m_child, CHILD_BTN)->objectName(), QStringLiteral("CHILD_BTN"));
        QVERIFY(CtrlWidget(m_child, NUM) == nullptr);
        QTest::mouseClick(Ctrl<QPushButton>(m_child, CHILD_BTN), Qt::LeftButton);
        QCOMPARE(TakeSeen(),
                 (std::vector<Seen>{{m_child, CHILD_BTN, EVENT_LEFT_CLICK}, {m_child, CHILD_BTN, EVENT_COMMIT}}));
        QCOMPARE(CtrlWidget(m_main, LAMP)->accessibleName(), QStringLiteral("Lamp"));  // kept from the file
    }

    void hiddenChildPanelGivesItsSpaceBack()
    {
        QCOMPARE(DisplayPanel(m_main), 0);
        QVERIFY(QTest::qWaitForWindowExposed(PanelWidget(m_main)));
        auto* filler = PanelWidget(m_main)->findChild<QLabel*>(QStringLiteral("FILLER"));
        QVERIFY(filler != nullptr);
        const int alone = filler->height();

        QCOMPARE(DisplayPanel(m_child), 0);
        QTRY_VERIFY(PanelWidget(m_child)->isVisible());
        QTRY_VERIFY(filler->height() < alone);
        QCOMPARE(HidePanel(m_child), 0);
        QTRY_COMPARE(filler->height(), alone);
        QVERIFY(PanelWidget(m_main)->isVisible());
    }

    void closeRequestGoesToThePanelCallbackAndTheWindowStays()
    {
        QCOMPARE(DisplayPanel(m_main), 0);
        QVERIFY(QTest::qWaitForWindowActive(PanelWidget(m_main)));
        QVERIFY(!PanelWidget(m_main)->close());
        QVERIFY(PanelWidget(m_main)->isVisible());
        const std::vector<Seen> seen = TakeSeen();
        QVERIFY(std::find(seen.begin(), seen.end(), Seen{m_main, 0, EVENT_GOT_FOCUS}) != seen.end());
        QCOMPARE(seen.back(), (Seen{m_main, 0, EVENT_CLOSE}));

        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        const std::vector<Seen> after = TakeSeen();
        QVERIFY(std::find(after.begin(), after.end(), Seen{m_main, 0, EVENT_LOST_FOCUS}) != after.end());
    }

    void discardedPanelsAreGone()
    {
        QPointer<QWidget> main = PanelWidget(m_main);
        QPointer<QWidget> button = CtrlWidget(m_child, CHILD_BTN);
        QCOMPARE(DiscardPanel(m_main), 0);
        QVERIFY(main.isNull());
        QVERIFY(button.isNull());
        QCOMPARE(SetCtrlVal(m_main, NUM, 1), int(UIE_NO_PANEL));
        QCOMPARE(SetCtrlVal(m_child, CHILD_NUM, 1), int(UIE_NO_PANEL));
        QCOMPARE(DiscardPanel(m_main), int(UIE_NO_PANEL));
        QCOMPARE(DisplayPanel(m_child), int(UIE_NO_PANEL));
    }

    void unknownPanelsControlsAndKindsAreRefused()
    {
        int value = 0;
        std::string text;
        double x = 0, y = 0;
        QCOMPARE(SetCtrlVal(9999, NUM, 1), int(UIE_NO_PANEL));
        QCOMPARE(SetCtrlVal(m_main, 99, 1), int(UIE_NO_CONTROL));
        QCOMPARE(GetCtrlVal(m_main, 99, &value), int(UIE_NO_CONTROL));
        QCOMPARE(GetCtrlVal(9999, NUM, &text), int(UIE_NO_PANEL));
        QCOMPARE(SetCtrlAttribute(m_main, 99, ATTR_DIMMED, 1), int(UIE_NO_CONTROL));
        QCOMPARE(GetCtrlAttribute(9999, NUM, ATTR_DIMMED, &value), int(UIE_NO_PANEL));
        QCOMPARE(SetRingItemLabel(m_main, 99, 0, "x"), int(UIE_NO_CONTROL));
        QCOMPARE(NewCtrl(9999, CTRL_TEXT_MSG, "", 0, 0), int(UIE_NO_PANEL));
        QCOMPARE(DisplayPanel(9999), int(UIE_NO_PANEL));
        QCOMPARE(HidePanel(9999), int(UIE_NO_PANEL));
        QCOMPARE(SetGraphCursor(m_main, 99, 1, 0, 0), int(UIE_NO_CONTROL));
        QVERIFY(GetGraphRepaintCount(9999, GRAPH) < 0);

        QCOMPARE(SetCtrlVal(m_main, NUM, "text"), int(UIE_WRONG_KIND));
        QCOMPARE(SetCtrlVal(m_main, STATUS, 3), int(UIE_WRONG_KIND));
        QCOMPARE(GetCtrlVal(m_main, STATUS, &value), int(UIE_WRONG_KIND));
        QCOMPARE(GetCtrlVal(m_main, GRAPH, &value), int(UIE_WRONG_KIND));
        QCOMPARE(SetCtrlAttribute(m_main, BTN, ATTR_ENABLED, 1), int(UIE_WRONG_KIND));
        QCOMPARE(SetRingItemLabel(m_main, NUM, 0, "x"), int(UIE_WRONG_KIND));
        QCOMPARE(GetGraphCursor(m_main, NUM, 1, &x, &y), int(UIE_WRONG_KIND));
        QCOMPARE(SetCtrlAttribute(m_main, BTN, 999, 1), int(UIE_BAD_ARGUMENT));
    }

    void valuesAndAttributes()
    {
        unsigned short word = 0;
        QCOMPARE(SetCtrlVal(m_main, NUMDISPLAY, 1278), 0);
        QCOMPARE(GetCtrlVal(m_main, NUMDISPLAY, &word), 0);
        QCOMPARE(word, static_cast<unsigned short>(1278));
        QCOMPARE(SetCtrlVal(m_main, RINGIDX, 1), 0);
        QCOMPARE(GetCtrlVal(m_main, RINGIDX, &word), 0);
        QCOMPARE(word, static_cast<unsigned short>(1));

        int value = -1;
        QCOMPARE(SetCtrlAttribute(m_main, NUM, ATTR_DIMMED, 1), 0);
        QCOMPARE(GetCtrlAttribute(m_main, NUM, ATTR_DIMMED, &value), 0);
        QCOMPARE(value, 1);
        QVERIFY(!CtrlWidget(m_main, NUM)->isEnabled());
        QCOMPARE(SetCtrlAttribute(m_main, NUM, ATTR_VISIBLE, 0), 0);
        QCOMPARE(GetCtrlAttribute(m_main, NUM, ATTR_VISIBLE, &value), 0);
        QCOMPARE(value, 0);
        QCOMPARE(SetCtrlAttribute(m_main, NUM, ATTR_VISIBLE, 1), 0);
        QCOMPARE(GetCtrlAttribute(m_main, NUM, ATTR_VISIBLE, &value), 0);
        QCOMPARE(value, 1);

        QCOMPARE(SetCtrlAttribute(m_main, BTN, ATTR_LABEL_TEXT, "Run"), 0);
        std::string caption;
        QCOMPARE(GetCtrlVal(m_main, BTN, &caption), 0);
        QCOMPARE(caption, std::string("Run"));
        QCOMPARE(SetCtrlAttribute(m_main, BTN, ATTR_TOOLTIP, "Starts the run"), 0);
        QCOMPARE(CtrlWidget(m_main, BTN)->toolTip(), QStringLiteral("Starts the run"));

        QCOMPARE(GetCtrlAttribute(m_main, TIMER, ATTR_ENABLED, &value), 0);
        QCOMPARE(value, 0);
        QCOMPARE(SetCtrlAttribute(m_main, TIMER, ATTR_ENABLED, 1), 0);
        QCOMPARE(GetCtrlAttribute(m_main, TIMER, ATTR_ENABLED, &value), 0);
        QCOMPARE(value, 1);
        QCOMPARE(SetCtrlAttribute(m_main, TIMER, ATTR_ENABLED, 0), 0);
        QCOMPARE(SetCtrlAttribute(m_main, TIMER, ATTR_VISIBLE, 1), 0);
        QVERIFY(CtrlWidget(m_main, TIMER)->isHidden());  // a timer is never seen
    }

    // Info texts: white on blue at fixed positions, sized to their text.
    void textMessagesCreatedAtRunTime()
    {
        QCOMPARE(NewCtrl(m_main, CTRL_TEXT_MSG, "label", 8, 15), int(UIE_BAD_ARGUMENT));
        const int first = NewCtrl(m_main, CTRL_TEXT_MSG, "", 8, 15);
        const int title = NewCtrl(m_main, CTRL_TEXT_MSG, "", 30, 175);
        QCOMPARE(first, 1000);
        QCOMPARE(title, 1001);

        QCOMPARE(SetCtrlAttribute(m_main, title, ATTR_TEXT_FONT, VAL_APP_FONT), 0);
        QCOMPARE(SetCtrlAttribute(m_main, title, ATTR_TEXT_BGCOLOR, 0x0080FF), 0);
        QCOMPARE(SetCtrlAttribute(m_main, title, ATTR_TEXT_COLOR, 0xFFFFFF), 0);
        QCOMPARE(SetCtrlAttribute(m_main, title, ATTR_TEXT_POINT_SIZE, 11), 0);
        QCOMPARE(SetCtrlVal(m_main, title, "KORVA-TB-Rarav"), 0);
        auto* label = Ctrl<QLabel>(m_main, title);
        const QSize small = label->size();
        QCOMPARE(SetCtrlAttribute(m_main, title, ATTR_TEXT_POINT_SIZE, 18), 0);

        QCOMPARE(label->pos(), QPoint(175, 30));
        QCOMPARE(label->size(), label->sizeHint());
        QVERIFY(label->width() > small.width() && label->height() > small.height());
        QCOMPARE(label->font().pixelSize(), 18);
        QCOMPARE(label->font().family(), QApplication::font().family());
        QCOMPARE(PanelWidget(m_main)->children().constLast(), label);  // above the panel's controls
        int value = 0;
        QCOMPARE(GetCtrlAttribute(m_main, title, ATTR_TEXT_POINT_SIZE, &value), 0);
        QCOMPARE(value, 18);
        QCOMPARE(GetCtrlAttribute(m_main, title, ATTR_TEXT_COLOR, &value), 0);
        QCOMPARE(value, 0xFFFFFF);
        QCOMPARE(GetCtrlAttribute(m_main, title, ATTR_TEXT_BGCOLOR, &value), 0);
        QCOMPARE(value, 0x0080FF);

        // What is painted: blue background and white text.
        DisplayPanel(m_main);
        QVERIFY(QTest::qWaitForWindowExposed(PanelWidget(m_main)));
        const QImage image = label->grab().toImage();
        QVERIFY(Near(image.pixel(1, 1), 0x0080FF));
        bool white = false;
        for (int y = 0; y < image.height() && !white; ++y) {
            for (int x = 0; x < image.width() && !white; ++x)
                white = Near(image.pixel(x, y), 0xFFFFFF);
        }
        QVERIFY(white);
    }

    // A display that the program updates many times a second repaints itself, not what lies
    // beneath it, and its frame still follows dimming.
    void displayRepaintsOnlyItself()
    {
        DisplayPanel(m_main);
        QWidget* display = CtrlWidget(m_main, NUMDISPLAY);
        QVERIFY(QTest::qWaitForWindowExposed(display->window()));
        QTest::qWait(50);
        PaintCounter beneath(display->parentWidget());
        PaintCounter own(display->findChild<QLineEdit*>());
        QCOMPARE(SetCtrlVal(m_main, NUMDISPLAY, 4321), 0);
        QTRY_VERIFY(own.count > 0);
        QCOMPARE(beneath.count, 0);

        // Inside the border, left of the text field.
        const auto frameColor = [display] { return display->grab().toImage().pixel(1, display->height() / 2); };
        const QRgb shown = frameColor();
        QCOMPARE(SetCtrlAttribute(m_main, NUMDISPLAY, ATTR_DIMMED, 1), 0);
        QVERIFY(frameColor() != shown);
        QCOMPARE(SetCtrlAttribute(m_main, NUMDISPLAY, ATTR_DIMMED, 0), 0);
        QCOMPARE(frameColor(), shown);
    }
};

QTEST_MAIN(TestUiPanels)
#include "test_ui_panels.moc"
