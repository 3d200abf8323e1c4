// Number arrays in text files, the file-selection dialog, the documents folder and writable folders.
#include "uitest.h"
#include "support/FileDialog.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <array>
#include <csignal>
#include <functional>
#include <memory>
#include <utility>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace korva;
using namespace korva::uitest;

namespace {

using Values = std::array<uint32_t, 16>;

std::string Path(const QTemporaryDir& dir, const char* name)
{
    return dir.filePath(QString::fromLatin1(name)).toStdString();
}

void WriteText(const std::string& path, const QByteArray& text)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", path.c_str());
}

QByteArray ReadText(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Reads a file into values that start as all 7s.
std::pair<int, Values> Read(const std::string& path, size_t n = 16)
{
    Values values;
    values.fill(7);
    const int result = FileToArray(path, values.data(), n);
    return {result, values};
}

// Reads a file in a child process, so a read that hangs or runs out of memory fails the test
// rather than taking it down: the child has two seconds and 256 MB more than it starts with.
// Gives FileToArray's result, or nothing when the child did not end on its own.
std::optional<int> ReadGuarded(const std::string& path)
{
#ifdef _WIN32
    return Read(path).first;  // no fork: a read that hung would hang the suite
#else
    const pid_t child = fork();
    if (child == 0) {
        alarm(2);
        const rlim_t pages = ReadText("/proc/self/statm").split(' ').value(0).toULong();
        const rlimit memory{pages * sysconf(_SC_PAGESIZE) + (256 << 20), RLIM_INFINITY};
        setrlimit(RLIMIT_AS, &memory);
        _exit(-Read(path).first);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status))
        return std::nullopt;
    return -WEXITSTATUS(status);
#endif
}

// What the file-selection dialogs handed to the program, in order.
std::vector<std::string> g_chosen;

void Chosen(const std::string& path)
{
    g_chosen.push_back(path);
}

// The answers given so far, once the event processing has had the time to deliver them.
std::vector<std::string> TakeChosen()
{
    ProcessFor(50);
    return std::exchange(g_chosen, {});
}

template <class Widget>
Widget* ActiveModal()
{
    return qobject_cast<Widget*>(QApplication::activeModalWidget());
}

// Runs an operator's action and tells whether it returned without waiting in an event loop of
// its own. A timer without delay fires only in an event loop: when it fires before the action has
// returned, the action waits in a nested one, and the timer closes what waits so the test goes on.
bool ReturnsAtOnce(const std::function<void()>& action)
{
    struct State {
        bool returned = false;
        bool nested = false;
    };
    auto state = std::make_shared<State>();
    QTimer::singleShot(0, [state] {
        if (state->returned)
            return;
        state->nested = true;
        if (QWidget* waiting = QApplication::activeModalWidget())
            waiting->close();
    });
    action();
    state->returned = true;
    return !state->nested;
}

// Types a name into the dialog's name box and presses Enter, as an operator does (with the focus
// in the box: without it QFileDialog would keep a file selected in the list as the choice). True
// when the dialog took the key without waiting in an event loop of its own.
bool Confirm(QFileDialog* dialog, const QString& name)
{
    dialog->activateWindow();  // the offscreen platform has no window manager to do it when a message closes
    if (!QTest::qWaitForWindowActive(dialog))
        return false;
    auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    nameBox->setFocus(Qt::MouseFocusReason);
    nameBox->clear();
    QTest::keyClicks(nameBox, name);
    return ReturnsAtOnce([nameBox] { QTest::keyClick(nameBox, Qt::Key_Return); });
}

// Clicks a button of a message box; true when that returned without an event loop of its own.
bool Answer(QMessageBox* box, QMessageBox::StandardButton button)
{
    return ReturnsAtOnce([box, button] { box->button(button)->click(); });
}

// A timer that counts its ticks; the program's polling loop goes on as long as it ticks while
// ProcessSystemEvents runs.
class TickCounter {
public:
    TickCounter()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { ++ticks_; });
        timer_.start(5);
    }
    // True once the timer has ticked three more times in a loop of ProcessSystemEvents.
    bool loopRuns()
    {
        const int start = ticks_;
        return test::ProcessUntil([&] { return ticks_ >= start + 3; });
    }

private:
    QTimer timer_;
    int ticks_ = 0;
};

}  // namespace

class TestUiFiles : public QObject {
    Q_OBJECT

    int m_panel = 0;

private slots:
    void initTestCase()
    {
        m_panel = ShowTestPanel();
        QVERIFY(m_panel > 0);
    }

    // A test that fails midway leaves its dialog open over the panel; the next one starts without.
    void cleanup()
    {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(window); dialog != nullptr && dialog->isVisible())
                dialog->reject();
        }
        TakeChosen();
    }

    // Dialogs and message boxes delete themselves later; they go before the panel they belong to.
    void cleanupTestCase()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        DiscardPanel(m_panel);
    }

    void arrayRoundTrip()
    {
        QTemporaryDir dir;
        const std::string path = Path(dir, "KORVApara.dat");
        const Values values{500, 0, 512, 0, 1, 1, 200, 800, 512, 100, 1, 0, 0, 1, 0, 4294967295u};
        QCOMPARE(ArrayToFile(path, values.data(), values.size(), 4), 0);
        QVERIFY(ReadText(path).startsWith(" 500\n   0\n 512\n"));
        QVERIFY(ReadText(path).endsWith("   0\n4294967295\n"));  // wider numbers are written whole
        const auto [result, read] = Read(path);
        QCOMPARE(result, 0);
        QVERIFY(read == values);
    }

    void readerAcceptsBlanksBlankLinesAndCrLf()
    {
        QTemporaryDir dir;
        const std::string path = Path(dir, "loose.dat");
        WriteText(path, "  500\r\n\r\n\t0 \r\n512\n\n  1\r\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n\n");
        const auto [result, read] = Read(path);
        QCOMPARE(result, 0);
        QCOMPARE(read[0], 500u);
        QCOMPARE(read[1], 0u);
        QCOMPARE(read[2], 512u);
        QCOMPARE(read[15], 13u);

        // Only the first n are taken; more numbers are fine.
        const auto [three, first] = Read(path, 3);
        QCOMPARE(three, 0);
        QCOMPARE(first[2], 512u);
        QCOMPARE(first[3], 7u);
    }

    void badFilesLeaveValuesUnchanged_data()
    {
        QTest::addColumn<QByteArray>("text");
        QByteArray fifteen;
        for (int i = 0; i < 15; ++i)
            fifteen += QByteArray::number(i) + '\n';
        QTest::newRow("short") << fifteen;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << fifteen + "abc\n";
        QTest::newRow("trailing text") << fifteen + "12a\n";
        QTest::newRow("two on a line") << fifteen + "1 2\n";
        QTest::newRow("negative") << fifteen + "-1\n";
        QTest::newRow("sign") << fifteen + "+1\n";
        QTest::newRow("2^32") << fifteen + "4294967296\n";
        QTest::newRow("decimal point") << fifteen + "1.5\n";
        QTest::newRow("bad line after enough numbers") << fifteen + "15\n16\nend\n";
    }

    void badFilesLeaveValuesUnchanged()
    {
        QFETCH(QByteArray, text);
        QTemporaryDir dir;
        const std::string path = Path(dir, "bad.dat");
        WriteText(path, text);
        const auto [result, values] = Read(path);
        QVERIFY(result < 0);
        Values sevens;
        sevens.fill(7);
        QVERIFY(values == sevens);
    }

    void missingFileIsAnError()
    {
        QTemporaryDir dir;
        QCOMPARE(Read(Path(dir, "missing.dat")).first, int(UIE_FILE_ACCESS));
    }

    // Only a regular file of a parameter file's size is read; nothing else is opened or waited for.
    void specialAndHugeFilesAreRefused()
    {
        QTemporaryDir dir;
        QByteArray huge;
        for (int i = 0; i < 16; ++i)
            huge += "1\n";
        WriteText(Path(dir, "huge.dat"), huge + QByteArray(1 << 20, '\n'));
#ifdef _WIN32
        // Device names are devices in every folder.
        const std::vector<const char*> names = {"huge.dat", "NUL", "nul.dat"};
#else
        QVERIFY(mkfifo(Path(dir, "fifo.dat").c_str(), 0644) == 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), dir.filePath(QStringLiteral("zero.dat"))));
        const std::vector<const char*> names = {"huge.dat", "fifo.dat", "zero.dat"};
#endif
        for (const char* name : names)
            QCOMPARE(ReadGuarded(Path(dir, name)), std::optional<int>(UIE_FILE_ACCESS));
    }

    void writingReplacesTheWholeFile()
    {
        QTemporaryDir dir;
        const std::string path = Path(dir, "old.dat");
        WriteText(path, QByteArray(1000, '9'));
        const uint32_t values[2] = {1, 2};
        QCOMPARE(ArrayToFile(path, values, 2, 4), 0);
        QCOMPARE(ReadText(path), QByteArray("   1\n   2\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.dat")});
    }

    void failedWritesLeaveTheOldFile()
    {
        QTemporaryDir dir;
        const uint32_t values[2] = {1, 2};
        QVERIFY(ArrayToFile(Path(dir, "no-such-folder/new.dat"), values, 2, 4) < 0);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("no-such-folder"))));

        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.dat")));
        QVERIFY(ArrayToFile(Path(dir, "folder.dat"), values, 2, 4) < 0);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder.dat"))).isDir());

#ifndef _WIN32
        // The disk "fills up" in the middle of the write: a file-size limit makes it fail.
        const std::string path = Path(dir, "KORVApara.dat");
        WriteText(path, "old content\n");
        std::vector<uint32_t> many(100000, 123456);
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        const int result = ArrayToFile(path, many.data(), many.size(), 4);
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(result < 0);
        QCOMPARE(ReadText(path), QByteArray("old content\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("KORVApara.dat")});
#endif
    }

    // The three confirm buttons: what each takes, the proposed name, the filter's extension for a
    // new name, and "" for Cancel or the close box. The dialog also answers the tests' helper.
    void buttonsTakeNewOrExistingFiles()
    {
        QTemporaryDir dir;
        const QString existing = dir.filePath(QStringLiteral("KORVApara.dat"));
        WriteText(existing.toStdString(), "1\n");
        const std::string folder = dir.path().toStdString();

        auto seen = test::AnswerFileDialog(existing.toStdString());
        FileSelectPopupThen(m_panel, folder, "KORVApara.dat", "*.dat", "KORVA-TB-Series Parameter File", VAL_OK_BUTTON,
                            Chosen);
        QVERIFY(test::ProcessUntil([] { return !g_chosen.empty(); }));
        QCOMPARE(TakeChosen(), std::vector<std::string>{existing.toStdString()});  // replaced without a question
        QCOMPARE(seen->title, QStringLiteral("KORVA-TB-Series Parameter File"));
        QCOMPARE(seen->confirmLabel, QStringLiteral("OK"));
        QCOMPARE(seen->directory, QDir(dir.path()).absolutePath());

        FileSelectPopupThen(m_panel, folder, "KORVApara.dat", "*.dat", "Record", VAL_SAVE_BUTTON, Chosen);
        auto* dialog = ActiveModal<QFileDialog>();
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->objectName(), QStringLiteral("KorvaFileDialog"));
        QCOMPARE(dialog->labelText(QFileDialog::Accept), QStringLiteral("Save"));
        QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("*.dat")});
        QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(), "KORVApara.dat");
        QVERIFY(Confirm(dialog, QStringLiteral("settings")));
        QCOMPARE(TakeChosen(), std::vector<std::string>{Path(dir, "settings.dat")});

        // Load takes existing files only; a missing one is refused and the dialog stays.
        FileSelectPopupThen(m_panel, folder, "KORVApara.dat", "*.dat", "Load it", VAL_LOAD_BUTTON, Chosen);
        dialog = ActiveModal<QFileDialog>();
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->labelText(QFileDialog::Accept), QStringLiteral("Load"));
        QVERIFY(Confirm(dialog, QStringLiteral("missing.dat")));
        auto* box = ActiveModal<QMessageBox>();
        QVERIFY(box != nullptr);
        QVERIFY(box->text().startsWith("missing.dat\nFile not found."));
        QVERIFY(Answer(box, QMessageBox::Ok));
        QVERIFY(dialog->isVisible());
        QVERIFY(Confirm(dialog, QStringLiteral("KORVApara.dat")));
        QCOMPARE(TakeChosen(), std::vector<std::string>{existing.toStdString()});

        for (const int button : {VAL_OK_BUTTON, VAL_SAVE_BUTTON, VAL_LOAD_BUTTON}) {
            FileSelectPopupThen(m_panel, folder, "KORVApara.dat", "*.dat", "Cancel", button, Chosen);
            ActiveModal<QFileDialog>()->reject();
            FileSelectPopupThen(m_panel, folder, "KORVApara.dat", "*.dat", "Close", button, Chosen);
            ActiveModal<QFileDialog>()->close();
            QCOMPARE(TakeChosen(), (std::vector<std::string>{"", ""}));
        }
        FileSelectPopupThen(m_panel, folder, "KORVApara.dat", "*.dat", "No such button", 7, Chosen);
        QVERIFY(ActiveModal<QWidget>() == nullptr);
        QCOMPARE(TakeChosen(), std::vector<std::string>{""});
    }

    // Save asks before an existing file is replaced, with the question open the program's loop
    // goes on; No keeps the dialog open and chooses nothing, Yes chooses the file.
    void saveAsksBeforeReplacing()
    {
        QTemporaryDir dir;
        const std::string existing = Path(dir, "run.csv");
        WriteText(existing, "time\n");
        TickCounter ticks;
        FileSelectPopupThen(m_panel, dir.path().toStdString(), "run.csv", "*.csv", "Record", VAL_SAVE_BUTTON, Chosen);
        auto* dialog = ActiveModal<QFileDialog>();
        QVERIFY(dialog != nullptr);
        QVERIFY(ticks.loopRuns());
        for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
            QVERIFY(Confirm(dialog, QStringLiteral("run.csv")));
            auto* question = ActiveModal<QMessageBox>();
            QVERIFY(question != nullptr);
            QCOMPARE(question->text(), QStringLiteral("run.csv already exists.\nDo you want to replace it?"));
            QCOMPARE(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);
            QVERIFY(ticks.loopRuns());
            QVERIFY(question->isVisible());
            QVERIFY(Answer(question, answer));
            QCOMPARE(dialog->isVisible(), answer == QMessageBox::No);
            QCOMPARE(TakeChosen(), answer == QMessageBox::No ? std::vector<std::string>{}
                                                            : std::vector<std::string>{existing});
        }
        QCOMPARE(ReadText(existing), QByteArray("time\n"));  // choosing writes nothing
    }

    // Names the dialog refuses, each with a message while the program's loop goes on; the dialog
    // stays open and nothing is chosen. A typed folder is opened; a link to a regular file is fine.
    void refusedNamesKeepTheDialogOpen()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        WriteText(Path(dir, "notes.txt"), "1\n");
        WriteText(Path(dir, "real.dat"), "1\n");
#ifndef _WIN32
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("real.dat")), dir.filePath(QStringLiteral("link.dat"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("null.dat"))));
        QVERIFY(mkfifo(Path(dir, "pipe.dat").c_str(), 0644) == 0);
        QVERIFY(mkfifo(Path(dir, "pipe.csv").c_str(), 0644) == 0);
#endif
        const QString quote = QStringLiteral("\nFile names cannot contain the character \".");
        const QString extension = QStringLiteral("\nOnly files ending in .dat can be chosen.");
        const QString special =
            QStringLiteral("\nOnly regular files can be chosen, not devices, pipes, sockets or broken links.");
        std::vector<std::pair<QString, QString>> refused{
            {"a\"b.dat", "a\"b.dat" + quote},
            {"\"real.dat\" \"notes.txt\"", "\"real.dat\" \"notes.txt\"" + quote},
            {"notes.txt", "notes.txt" + extension},
            {"new.txt", "new.txt" + extension},
        };
#ifndef _WIN32  // Windows has no FIFOs in folders, and its links are shortcut files
        refused.insert(refused.end(), {{"pipe.dat", "pipe.dat" + special}, {"null.dat", "null.dat" + special}});
        const char* const taken = "link.dat";
#else
        const char* const taken = "real.dat";
#endif
        TickCounter ticks;
        for (const int button : {VAL_OK_BUTTON, VAL_SAVE_BUTTON, VAL_LOAD_BUTTON}) {
            FileSelectPopupThen(m_panel, dir.path().toStdString(), "KORVApara.dat", "*.dat", "Parameter File", button,
                                Chosen);
            auto* dialog = ActiveModal<QFileDialog>();
            QVERIFY(dialog != nullptr);
            for (const auto& [name, message] : refused) {
                QVERIFY(Confirm(dialog, name));
                auto* box = ActiveModal<QMessageBox>();
                QVERIFY2(box != nullptr, qPrintable(name));
                QCOMPARE(box->text(), message);
                QVERIFY(ticks.loopRuns());
                QVERIFY(Answer(box, QMessageBox::Ok));
                QVERIFY(dialog->isVisible());
                QCOMPARE(TakeChosen(), std::vector<std::string>{});
            }
            QVERIFY(Confirm(dialog, dir.filePath(QStringLiteral("folder"))));
            QCOMPARE(dialog->directory().dirName(), QStringLiteral("folder"));
            QVERIFY(Confirm(dialog, dir.filePath(QString::fromLatin1(taken))));
            if (button == VAL_SAVE_BUTTON)
                QVERIFY(Answer(ActiveModal<QMessageBox>(), QMessageBox::Yes));  // it exists
            QCOMPARE(TakeChosen(), std::vector<std::string>{Path(dir, taken)});
        }
#ifndef _WIN32

        // The record file's FIFO: refused before any question about replacing it.
        FileSelectPopupThen(m_panel, dir.path().toStdString(), "run.csv", "*.csv", "Record", VAL_SAVE_BUTTON, Chosen);
        auto* dialog = ActiveModal<QFileDialog>();
        QVERIFY(dialog != nullptr);
        QVERIFY(Confirm(dialog, QStringLiteral("pipe.csv")));
        auto* box = ActiveModal<QMessageBox>();
        QVERIFY(box != nullptr);
        QCOMPARE(box->text(), "pipe.csv" + special);
        QVERIFY(Answer(box, QMessageBox::Ok));
        dialog->reject();
        QCOMPARE(TakeChosen(), std::vector<std::string>{""});
#endif
    }

    // The dialog blocks the panel it was opened over, also when no window of the program is
    // active, and only that panel; an unknown panel handle gives a dialog without a parent.
    void dialogIsModalToItsPanel()
    {
        QApplication::setActiveWindow(nullptr);
        QVERIFY(QApplication::activeWindow() == nullptr);
        FileSelectPopupThen(m_panel, QDir::tempPath().toStdString(), "KORVApara.dat", "*.dat", "Save", VAL_OK_BUTTON,
                            Chosen);
        auto* dialog = ActiveModal<QFileDialog>();
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->parentWidget(), PanelWidget(m_panel));
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
        QWidget* button = CtrlWidget(m_panel, BTN);
        QWidget* window = button->window();
        TakeSeen();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, button->mapTo(window, button->rect().center()));
        QCOMPARE(TakeEvents(m_panel, BTN), QList<int>{});
        dialog->reject();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, button->mapTo(window, button->rect().center()));
        QCOMPARE(TakeEvents(m_panel, BTN), (QList<int>{EVENT_LEFT_CLICK, EVENT_COMMIT}));

        FileSelectPopupThen(9999, QDir::tempPath().toStdString(), "KORVApara.dat", "*.dat", "Save", VAL_OK_BUTTON,
                            Chosen);
        dialog = ActiveModal<QFileDialog>();
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->parentWidget() == nullptr);
        dialog->reject();
        QCOMPARE(TakeChosen(), (std::vector<std::string>{"", ""}));
    }

    // Tools answer the dialog with selectFile, which QFileDialog ignores while its name box has
    // the keyboard focus; the dialog must not open with the focus there.
    void dialogTakesSelectFileOnceActive()
    {
        QTemporaryDir dir;
        const std::string wanted = Path(dir, "chosen.dat");
        WriteText(wanted, "1\n");
        FileSelectPopupThen(m_panel, QDir::tempPath().toStdString(), "KORVApara.dat", "*.dat", "Load", VAL_LOAD_BUTTON,
                            Chosen);
        auto* dialog = ActiveModal<QFileDialog>();
        QVERIFY(dialog != nullptr);
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        dialog->selectFile(QString::fromStdString(wanted));
        QCOMPARE(dialog->selectedFiles().value(0), QString::fromStdString(wanted));
        static_cast<QDialog*>(dialog)->accept();
        QCOMPARE(TakeChosen(), std::vector<std::string>{wanted});
    }

    void documentsAndWritableFolders()
    {
        QVERIFY(QFileInfo(QString::fromStdString(GetDocumentsDir())).isDir());
        QTemporaryDir home;
        QVERIFY(CanWriteIn(home.path().toStdString()));
        QCOMPARE(QDir(home.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});  // the probe is gone
        QVERIFY(!CanWriteIn(Path(home, "missing")));
        QVERIFY(!CanWriteIn(""));
#ifndef _WIN32  // Linux: without a Documents folder, home; and a read-only mount

        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        const std::string withoutDocuments = GetDocumentsDir();
        QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Documents")));
        const std::string withDocuments = GetDocumentsDir();
        qputenv("HOME", oldHome);
        qputenv("XDG_CONFIG_HOME", oldConfig);
        QCOMPARE(QString::fromStdString(withoutDocuments), home.path());
        QCOMPARE(QString::fromStdString(withDocuments), home.filePath(QStringLiteral("Documents")));
        // A folder that exists but takes no file: a read-only mount (root writes anywhere else).
        QTemporaryDir readOnly;
        if (mount("korva-test", QFile::encodeName(readOnly.path()).constData(), "tmpfs", MS_RDONLY, "size=64k") != 0)
            QSKIP("mounting a tmpfs was refused (needs root)");
        const bool writable = CanWriteIn(readOnly.path().toStdString());
        umount2(QFile::encodeName(readOnly.path()).constData(), MNT_DETACH);
        QVERIFY(!writable);
#endif
    }
};

QTEST_MAIN(TestUiFiles)
#include "test_ui_files.moc"
