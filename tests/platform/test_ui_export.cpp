// Saving what a graph shows: image and CSV files, the right-click menu and its save dialogs while
// a polling loop runs, and a full disk.
#include "uitest.h"
#include "support/SmallDisk.h"

#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

using namespace korva;
using namespace korva::uitest;

namespace {

// A panel of its own: a graph with a callback and an export name, and a fast timer.
enum : int { EXPORT_GRAPH = 1, EXPORT_TIMER = 2 };

const char* const kExportPanel = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
  <class>ExportPanel</class>
  <widget class="QWidget" name="PANEL">
    <property name="geometry"><rect><x>0</x><y>0</y><width>500</width><height>300</height></rect></property>
    <property name="panelId" stdset="0"><number>1</number></property>
    <layout class="QVBoxLayout" name="layout">
      <item>
        <widget class="QCustomPlot" name="GRAPHDATA">
          <property name="ctrlId" stdset="0"><number>1</number></property>
          <property name="callback" stdset="0"><string>Record</string></property>
          <property name="exportName" stdset="0"><string>video</string></property>
        </widget>
      </item>
      <item>
        <widget class="KorvaTimer" name="TICKS">
          <property name="ctrlId" stdset="0"><number>2</number></property>
          <property name="callback" stdset="0"><string>Record</string></property>
          <property name="interval"><number>20</number></property>
        </widget>
      </item>
    </layout>
  </widget>
  <customwidgets>
    <customwidget><class>QCustomPlot</class><extends>QWidget</extends><header>qcustomplot.h</header></customwidget>
    <customwidget><class>KorvaTimer</class><extends>QWidget</extends><header>widgets.h</header></customwidget>
  </customwidgets>
</ui>
)";

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// x, video and threshold of 256 points, as the data graph shows them.
std::vector<double> VideoTable()
{
    std::vector<double> values;
    for (int i = 0; i < 256; ++i)
        values.insert(values.end(), {double(i * 4), double((i * 37) % 1024), 512});
    return values;
}

// The visible top-level widget of a class, or null.
template <class Widget>
Widget* Shown()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<Widget*>(widget); found != nullptr && found->isVisible())
            return found;
    }
    return nullptr;
}

QAction* ActionNamed(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// Chooses a menu entry with the mouse, as the operator does.
void Choose(QMenu* menu, const QString& text)
{
    QAction* action = ActionNamed(menu, text);
    QVERIFY(action != nullptr && action->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
}

// Types the path into the dialog's name box and confirms.
void Answer(QFileDialog* dialog, const QString& path)
{
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides accept() but dispatches it
}

// Two different pictures for the graph.
void DrawBars(int panel, int control, double split)
{
    DeleteGraphPlot(panel, control, VAL_ALL_OBJECTS, VAL_IMMEDIATE_DRAW);
    PlotRectangle(panel, control, 0, 0, split, 1, 0xFF0000, 0xFF0000);
    PlotRectangle(panel, control, split, 0, 1024, 1, 0x0000FF, 0x0000FF);
}

}  // namespace

class TestUiExport : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_panel = 0;
    int m_exportPanel = 0;
    QWidget* m_graph = nullptr;

    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    // A click on the export panel's graph through the window system, which turns a right press
    // into a context menu request.
    void click(Qt::MouseButton button)
    {
        QWidget* window = m_graph->window();
        QTest::mouseClick(window->windowHandle(), button, {}, m_graph->mapTo(window, m_graph->rect().center()));
    }

    // A right click on the graph; the menu it opened.
    QMenu* rightClick()
    {
        click(Qt::RightButton);
        return Shown<QMenu>();
    }

    // Lets the program's kind of loop run for a while: timer ticks, a graph redrawn every pass,
    // the table renewed with every record.
    int ticksWhileLooping(int milliseconds)
    {
        const std::vector<double> other(256 * 3, 7.0);
        QElapsedTimer clock;
        clock.start();
        for (int pass = 0; clock.elapsed() < milliseconds; ++pass) {
            DrawBars(m_exportPanel, EXPORT_GRAPH, 100 + pass % 800);
            SetGraphTable(m_exportPanel, EXPORT_GRAPH, "x,video,threshold", other.data(), 256, 3);
            ProcessSystemEvents();
        }
        return int(TakeEvents(m_exportPanel, EXPORT_TIMER).count(EVENT_TIMER_TICK));
    }

private slots:
    void initTestCase()
    {
        m_panel = ShowTestPanel();
        QVERIFY(m_panel > 0);
        QFile file(path("export.ui"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kExportPanel) > 0);
        file.close();
        m_exportPanel = LoadPanel(0, qPrintable(file.fileName()), 1);
        QVERIFY(m_exportPanel > 0);
        QCOMPARE(DisplayPanel(m_exportPanel), 0);
        QVERIFY(QTest::qWaitForWindowActive(PanelWidget(m_exportPanel)));
        m_graph = CtrlWidget(m_exportPanel, EXPORT_GRAPH);
        SetExportFolder(m_dir.path().toStdString());
    }

    // Dialogs and message boxes delete themselves later; they go before the panels they belong to.
    void cleanupTestCase()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        DiscardPanel(m_exportPanel);
        DiscardPanel(m_panel);
    }

    void imageFilesFollowTheExtension()
    {
        DrawBars(m_panel, GRAPH, 300);
        QWidget* graph = CtrlWidget(m_panel, GRAPH);
        QCOMPARE(SaveGraphImage(m_panel, GRAPH, path("graph.png").toStdString()), 0);
        const QImage image(path("graph.png"));
        QCOMPARE(image.size(), graph->size());
        const QPoint bar(graph->width() / 8, graph->height() / 2);  // inside the red bar
        QCOMPARE(QColor(image.pixel(bar)), QColor(Qt::red));

        QCOMPARE(SaveGraphImage(m_panel, GRAPH, path("graph.PDF").toStdString()), 0);
        QVERIFY(ReadAll(path("graph.PDF")).startsWith("%PDF"));

        QCOMPARE(SaveGraphImage(m_panel, GRAPH, path("graph.txt").toStdString()), int(UIE_BAD_ARGUMENT));
        QVERIFY(!QFile::exists(path("graph.txt")));
        QCOMPARE(SaveGraphImage(m_panel, STATUS, path("status.png").toStdString()), int(UIE_WRONG_KIND));
    }

    void tableRoundTrip()
    {
        QCOMPARE(SaveGraphTable(m_panel, GRAPH, path("none.csv").toStdString()), int(UIE_WRONG_KIND));
        QVERIFY(!QFile::exists(path("none.csv")));

        const long given = GetGraphTableCount(m_panel, GRAPH);
        const std::vector<double> values = VideoTable();
        QCOMPARE(SetGraphTable(m_panel, GRAPH, "x,video,threshold", values.data(), 256, 3), 0);
        QCOMPARE(GetGraphTableCount(m_panel, GRAPH), given + 1);
        QCOMPARE(SaveGraphTable(m_panel, GRAPH, path("video.csv").toStdString()), 0);
        const QList<QByteArray> lines = ReadAll(path("video.csv")).split('\n');
        QCOMPARE(lines.size(), 1 + 256 + 1);  // header, rows, nothing after the last line end
        QCOMPARE(lines[0], QByteArray("x,video,threshold"));
        QCOMPARE(lines[2], QByteArray("4,37,512"));
        std::vector<double> read;
        for (int row = 1; row <= 256; ++row) {
            for (const QByteArray& field : lines[row].split(','))
                read.push_back(field.toDouble());
        }
        QVERIFY(read == values);
        QCOMPARE(SetGraphTable(m_panel, GRAPH, "x", nullptr, 1, 1), int(UIE_BAD_ARGUMENT));
        QCOMPARE(GetGraphTableCount(m_panel, GRAPH), given + 1);
        QCOMPARE(GetGraphTableCount(m_panel, STATUS), long(UIE_WRONG_KIND));
    }

    // The operator saves the data graph's table while a loop polls: the right click is no left
    // click, the dialog does not hold the loop, the graph keeps its picture until the dialog ends,
    // and the file holds the table of the moment the save was chosen.
    void menuSavesTableWhileALoopRuns()
    {
        TakeSeen();
        click(Qt::LeftButton);
        QCOMPARE(TakeEvents(m_exportPanel, EXPORT_GRAPH), QList<int>{EVENT_LEFT_CLICK});

        QCOMPARE(SetGraphTable(m_exportPanel, EXPORT_GRAPH, "x", nullptr, 0, 1), 0);
        QMenu* menu = rightClick();
        QVERIFY(menu != nullptr);
        QVERIFY(TakeEvents(m_exportPanel, EXPORT_GRAPH).isEmpty());
        QStringList entries;
        for (QAction* action : menu->actions())
            entries << action->text();
        QCOMPARE(entries, (QStringList{"Save image...", "Copy image", "Save data as CSV..."}));
        QVERIFY(!ActionNamed(menu, "Save data as CSV...")->isEnabled());  // no table yet
        menu->close();

        DrawBars(m_exportPanel, EXPORT_GRAPH, 300);
        const std::vector<double> values = VideoTable();
        SetGraphTable(m_exportPanel, EXPORT_GRAPH, "x,video,threshold", values.data(), 256, 3);
        QTest::qWait(50);
        const QImage shown = m_graph->grab().toImage();
        QCOMPARE(SetCtrlAttribute(m_exportPanel, EXPORT_TIMER, ATTR_ENABLED, 1), 0);
        menu = rightClick();
        QVERIFY(menu != nullptr);
        Choose(menu, "Save data as CSV...");

        auto* dialog = Shown<QFileDialog>();
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->directory().absolutePath(), QDir(m_dir.path()).absolutePath());
        const QString proposed = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        QVERIFY2(QRegularExpression("^korva-video-\\d{8}-\\d{6}\\.csv$").match(proposed).hasMatch(),
                 qPrintable(proposed));
        TakeSeen();
        QVERIFY(ticksWhileLooping(300) >= 3);
        QVERIFY(dialog->isVisible());
        QVERIFY(m_graph->grab().toImage() == shown);

        Answer(dialog, path("menu.csv"));
        QCOMPARE(ReadAll(path("menu.csv")), ReadAll(path("video.csv")));
        SetCtrlAttribute(m_exportPanel, EXPORT_TIMER, ATTR_ENABLED, 0);
        QTRY_VERIFY(m_graph->grab().toImage() != shown);
    }

    // The image goes to the clipboard. The image dialog takes only the formats it can save: another
    // extension is refused with a message naming them, which holds neither the dialog nor the loop.
    // An existing file is replaced without a question; one that cannot be written is reported in
    // a message that does not hold the loop either, and nothing is written.
    void menuCopiesAndSavesOnlyWhatItCan()
    {
        QMenu* menu = rightClick();
        QVERIFY(menu != nullptr);
        Choose(menu, "Copy image");
        QCOMPARE(QGuiApplication::clipboard()->pixmap().size(), m_graph->size());

        menu = rightClick();
        QVERIFY(menu != nullptr);
        Choose(menu, "Save image...");
        auto* dialog = Shown<QFileDialog>();
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text().endsWith(".png"));
        QCOMPARE(SetCtrlAttribute(m_exportPanel, EXPORT_TIMER, ATTR_ENABLED, 1), 0);
        Answer(dialog, path("x.jpg"));
        auto* refusal = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(refusal != nullptr);
        QCOMPARE(refusal->text(), QStringLiteral("x.jpg\nOnly files ending in .png or .pdf can be chosen."));
        TakeSeen();
        QVERIFY(ticksWhileLooping(300) >= 3);
        QVERIFY(refusal->isVisible());
        refusal->button(QMessageBox::Ok)->click();
        QVERIFY(dialog->isVisible());
        QVERIFY(!QFile::exists(path("x.jpg")));

        const QByteArray before = ReadAll(path("graph.png"));
        QVERIFY(!before.isEmpty());
        Answer(dialog, path("graph.png"));
        QVERIFY(!dialog->isVisible());
        QVERIFY(ReadAll(path("graph.png")) != before);

        menu = rightClick();
        QVERIFY(menu != nullptr);
        Choose(menu, "Save image...");
        dialog = Shown<QFileDialog>();
        QVERIFY(dialog != nullptr);
        Answer(dialog, path("missing/picture.png"));
        auto* message = Shown<QMessageBox>();
        QVERIFY(message != nullptr);
        QCOMPARE(message->text(), "Cannot save " + QDir::toNativeSeparators(path("missing/picture.png")));
        QVERIFY(!message->isModal());
        TakeSeen();
        QVERIFY(ticksWhileLooping(300) >= 3);
        QVERIFY(!QFile::exists(path("missing/picture.png")));
        message->close();
        SetCtrlAttribute(m_exportPanel, EXPORT_TIMER, ATTR_ENABLED, 0);
    }

    void fullDiskLeavesNoFile()
    {
        test::SmallDisk disk;
        if (!disk.mounted() || !disk.Fill())
            QSKIP("mounting a tmpfs was refused (needs root)");
        QCOMPARE(SaveGraphImage(m_panel, GRAPH, disk.filePath("graph.png").toStdString()), int(UIE_FILE_ACCESS));
        QCOMPARE(SaveGraphTable(m_panel, GRAPH, disk.filePath("video.csv").toStdString()), int(UIE_FILE_ACCESS));
        QCOMPARE(disk.files(), QStringList{"filler"});
    }
};

QTEST_MAIN(TestUiExport)
#include "test_ui_export.moc"
