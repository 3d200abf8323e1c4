// Number arrays in text files, and the file-selection dialog.
#include "uitest.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <array>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
}

// Answers the next file dialog from inside its modal loop: `answer` gets the dialog.
void AnswerDialog(std::function<void(QFileDialog*)> answer)
{
    QTimer::singleShot(0, [answer] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        answer(dialog);
    });
}

// Confirms the next message box over `dialog` from inside its modal loop; `text` gets what it said.
void ConfirmMessageBox(QFileDialog* dialog, QString* text)
{
    QTimer::singleShot(0, dialog, [text] {
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr);
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        *text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
}

}  // namespace

class TestUiFiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(InitUserInterface(0, nullptr), 1); }

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
        QVERIFY(mkfifo(Path(dir, "fifo.dat").c_str(), 0644) == 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), dir.filePath(QStringLiteral("zero.dat"))));
        for (const char* name : {"huge.dat", "fifo.dat", "zero.dat"})
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
    }

    void saveDialogGivesNewOrExistingFile()
    {
        QTemporaryDir dir;
        WriteText(Path(dir, "KORVApara.dat"), "1\n");
        std::string chosen;
        QString title, accept, start;
        QStringList filters;
        AnswerDialog([&](QFileDialog* dialog) {
            QCOMPARE(dialog->objectName(), QStringLiteral("KorvaFileDialog"));
            title = dialog->windowTitle();
            accept = dialog->labelText(QFileDialog::Accept);
            start = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
            static_cast<QDialog*>(dialog)->accept();  // the proposed name
        });
        QCOMPARE(FileSelectPopup(dir.path().toStdString(), "KORVApara.dat", "*.dat", "KORVA-TB-Series Parameter File",
                                 VAL_OK_BUTTON, 1, 1, &chosen),
                 int(VAL_EXISTING_FILE_SELECTED));
        QCOMPARE(QString::fromStdString(chosen), dir.filePath(QStringLiteral("KORVApara.dat")));
        QCOMPARE(title, QStringLiteral("KORVA-TB-Series Parameter File"));
        QCOMPARE(accept, QStringLiteral("OK"));
        QCOMPARE(start, QDir(dir.path()).absolutePath());
        QCOMPARE(filters, QStringList{QStringLiteral("*.dat")});

        // A new name gets the filter's extension.
        AnswerDialog([](QFileDialog* dialog) {
            dialog->selectFile(QStringLiteral("settings"));
            static_cast<QDialog*>(dialog)->accept();
        });
        QCOMPARE(FileSelectPopup(dir.path().toStdString(), "KORVApara.dat", "*.dat", "Save", VAL_OK_BUTTON, 1, 1,
                                 &chosen),
                 int(VAL_NEW_FILE_SELECTED));
        QCOMPARE(QString::fromStdString(chosen), dir.filePath(QStringLiteral("settings.dat")));
    }

    void loadDialogAndCancel()
    {
        QTemporaryDir dir;
        WriteText(Path(dir, "KORVApara.dat"), "1\n");
        std::string chosen = "unchanged";
        AnswerDialog([](QFileDialog* dialog) { dialog->reject(); });
        QCOMPARE(FileSelectPopup(dir.path().toStdString(), "KORVApara.dat", "*.dat", "KORVA-TB-Parameter File",
                                 VAL_LOAD_BUTTON, 1, 1, &chosen),
                 int(VAL_NO_FILE_SELECTED));
        QCOMPARE(chosen, std::string("unchanged"));

        QString accept;
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        AnswerDialog([&](QFileDialog* dialog) {
            accept = dialog->labelText(QFileDialog::Accept);
            mode = dialog->fileMode();
            static_cast<QDialog*>(dialog)->accept();
        });
        QCOMPARE(FileSelectPopup(dir.path().toStdString(), "KORVApara.dat", "*.dat", "KORVA-TB-Parameter File",
                                 VAL_LOAD_BUTTON, 1, 1, &chosen),
                 int(VAL_EXISTING_FILE_SELECTED));
        QCOMPARE(accept, QStringLiteral("Load"));
        QCOMPARE(mode, QFileDialog::ExistingFile);
        QCOMPARE(QString::fromStdString(chosen), dir.filePath(QStringLiteral("KORVApara.dat")));
    }

    // A name typed with another extension is refused, whether it exists or is new, and the dialog
    // stays open; a folder typed in is still opened.
    void dialogTakesOnlyTheFilterExtension()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        WriteText(Path(dir, "folder/notes.txt"), "1\n");
        for (const int button : {VAL_OK_BUTTON, VAL_LOAD_BUTTON}) {
            for (const char* name : {"notes.txt", "new.txt"}) {
                QString opened;
                QString warning;
                AnswerDialog([&](QFileDialog* dialog) {
                    auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    nameBox->setText(dir.filePath(QStringLiteral("folder")));
                    static_cast<QDialog*>(dialog)->accept();
                    opened = dialog->directory().dirName();
                    nameBox->setText(QString::fromLatin1(name));
                    ConfirmMessageBox(dialog, &warning);
                    static_cast<QDialog*>(dialog)->accept();
                    if (dialog->isVisible())
                        dialog->reject();
                });
                std::string chosen = "unchanged";
                QCOMPARE(FileSelectPopup(dir.path().toStdString(), "KORVApara.dat", "*.dat", "Parameter File", button,
                                         1, 1, &chosen),
                         int(VAL_NO_FILE_SELECTED));
                QCOMPARE(chosen, std::string("unchanged"));
                QCOMPARE(opened, QStringLiteral("folder"));
                QCOMPARE(warning, QString::fromLatin1(name) + "\nOnly files ending in .dat can be chosen.");
            }
        }
    }

    // Tools answer the dialog with selectFile, which QFileDialog ignores while its name box has
    // the keyboard focus; the dialog must not open with the focus there.
    void dialogTakesSelectFileOnceActive()
    {
        QTemporaryDir dir;
        const std::string wanted = Path(dir, "chosen.dat");
        WriteText(wanted, "1\n");
        AnswerDialog([&](QFileDialog* dialog) {
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            dialog->selectFile(QString::fromStdString(wanted));
            // Accepting a name that is not there would open a message box and wait for ever.
            if (dialog->selectedFiles().value(0) == QString::fromStdString(wanted))
                static_cast<QDialog*>(dialog)->accept();
            else
                dialog->reject();
        });
        std::string chosen;
        QCOMPARE(FileSelectPopup(QDir::tempPath().toStdString(), "KORVApara.dat", "*.dat", "Load", VAL_LOAD_BUTTON, 1,
                                 1, &chosen),
                 int(VAL_EXISTING_FILE_SELECTED));
        QCOMPARE(chosen, wanted);
    }

    // Without Cancel the dialog offers no way out but a choice; closing it opens it again.
    void dialogWithoutCancel()
    {
        QTemporaryDir dir;
        int opened = 0;
        bool cancelShown = true;
        AnswerDialog([&](QFileDialog* first) {
            ++opened;
            const auto* buttons = first->findChild<QDialogButtonBox*>();
            cancelShown = buttons->button(QDialogButtonBox::Cancel)->isVisible();
            AnswerDialog([&](QFileDialog* second) {
                ++opened;
                static_cast<QDialog*>(second)->accept();
            });
            first->reject();
        });
        std::string chosen;
        QCOMPARE(FileSelectPopup(dir.path().toStdString(), "KORVApara.dat", "*.dat", "Save", VAL_OK_BUTTON, 0, 1,
                                 &chosen),
                 int(VAL_NEW_FILE_SELECTED));
        QVERIFY(!cancelShown);
        QCOMPARE(opened, 2);
    }
};

QTEST_MAIN(TestUiFiles)
#include "test_ui_files.moc"
