// Remembered settings: the port, the folders of the parameter and record files and the main
// window's place, kept from one run of WinMain in this process to the next in the settings file of
// a temporary home, with simulated sensors on COM1 and COM2 (pseudo-terminals); a broken settings
// file; and --no-settings and KORVA_NO_SETTINGS, which start the program without a memory.
#include "support/FileDialog.h"
#include "support/Program.h"

#include "ptysensor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include <functional>
#include <vector>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace korva;
using namespace korva::test;

namespace {

const std::string kGreeted = "Parameter-frame received! - Line Ok!";

// A home of its own for the settings: the program's file is Vexlund/KORVA-TB Scope.conf in it, and
// Qt's own settings (QtProject.conf, the file dialog's memory) would go there too.
class SettingsHome {
public:
    SettingsHome() : m_before(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }
    ~SettingsHome() { qputenv("XDG_CONFIG_HOME", m_before); }
    SettingsHome(const SettingsHome&) = delete;
    SettingsHome& operator=(const SettingsHome&) = delete;
    QString file() const { return m_dir.filePath("Vexlund/KORVA-TB Scope.conf"); }
    QByteArray bytes() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QByteArray& content) const
    {
        QDir().mkpath(QFileInfo(file()).path());
        QFile f(file());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    // The settings as the program left them.
    QVariant value(const QString& key) const { return QSettings(file(), QSettings::IniFormat).value(key); }
    bool empty() const { return QDir(m_dir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden); }
    bool holds(const QString& name) const { return QFile::exists(m_dir.filePath(name)); }

private:
    QByteArray m_before;
    QTemporaryDir m_dir;
};

// What a run saw once its window was first shown.
struct Run {
    int exitCode = -1000;
    int com = 0;           // the port greeted
    int ring = 0;          // and shown in the COM-port ring
    std::string status;
    QRect geometry;        // of the main window
    QStringList messages;  // the program's own on standard error
};

QStringList* s_messages = nullptr;
QtMessageHandler s_previousHandler = nullptr;

void CollectMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (s_messages != nullptr && type == QtWarningMsg && text.startsWith("KORVA-TB Scope: "))
        s_messages->append(text);
    s_previousHandler(type, context, text);
}

// One life of the program in this process, from start-up to the close of its window: `during` runs
// once the main window is shown, then the window is closed.
Run RunProgram(const QStringList& arguments = {}, const std::function<void()>& during = {})
{
    Run seen;
    std::vector<QByteArray> texts = {"KorvaTBScope11Xe"};
    for (const QString& argument : arguments)
        texts.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    const auto shown = When([] { return PanelWidget(panelHandle) != nullptr && PanelWidget(panelHandle)->isVisible(); },
                            [&] {
                                seen.com = com;
                                seen.ring = Value(panelHandle, PANEL_DROPDCOM);
                                seen.status = StatusText();
                                seen.geometry = PanelWidget(panelHandle)->geometry();
                                if (during)
                                    during();
                                PanelWidget(panelHandle)->close();
                            });
    s_messages = &seen.messages;
    s_previousHandler = qInstallMessageHandler(CollectMessages);
    seen.exitCode = WinMain(static_cast<int>(texts.size()), argv.data());
    qInstallMessageHandler(s_previousHandler);
    s_messages = nullptr;
    return seen;
}

// Chooses a port in the COM-port ring as an operator does, and waits until it is greeted.
void ChooseComPort(int port)
{
    auto* ring = qobject_cast<QComboBox*>(Control(panelHandle, PANEL_DROPDCOM));
    ring->showPopup();
    ring->view()->setCurrentIndex(ring->model()->index(port - 1, 0));
    QTest::keyClick(ring->view(), Qt::Key_Return);
    ProcessUntil([port] { return com == port; });
}

QString Canonical(const QString& folder)
{
    return QFileInfo(folder).canonicalFilePath();
}

// Presses `button` (Send or Get with the file target, or Record), answers its file dialog with
// `path` ("" cancels) and returns the folder the dialog started in.
QString DialogFolder(int button, const QString& path)
{
    if (button != PANEL_BTNRECORD && Value(panelHandle, PANEL_RBTFILE) == 0)
        Click(panelHandle, PANEL_RBTFILE);
    auto seen = AnswerFileDialog(path.toStdString());
    Click(panelHandle, button);
    ProcessUntil([&] { return seen->answered; });
    if (button == PANEL_BTNRECORD && Value(panelHandle, PANEL_BTNRECORD) != 0)
        Click(panelHandle, PANEL_BTNRECORD);  // the recording ends
    return Canonical(seen->directory);
}


QString DefaultFolder()
{
    return Canonical(QString::fromStdString(defaultFolder));
}

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;  // HOME and XDG_CONFIG_HOME, so nothing reaches the real ones
    std::unique_ptr<sim::PtySensor> m_com1, m_com2;

    // The program as a process of its own, at home in `home`, with the sensor on COM1.
    QProcessEnvironment ProgramEnvironment(const QTemporaryDir& home) const
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("KORVA_COM1", QString::fromStdString(m_com1->devicePath()));
        env.remove("KORVA_NO_SETTINGS");
        return env;
    }

    void greetedOn(const Run& run, int port, sim::PtySensor& sensor, uint64_t checksBefore)
    {
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.com, port);
        QCOMPARE(run.ring, port);
        QCOMPARE(run.status, kGreeted);
        QCOMPARE(sensor.commandsReceived(ORDER_LINE_CHECK), checksBefore + 1);
    }

private slots:
    void initTestCase()
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(".config").toLocal8Bit());
        qunsetenv("KORVA_NO_SETTINGS");  // CTest turns the settings off for the other suites
        // Two screens side by side, both larger than the main window's smallest size.
        QFile screens(m_home.filePath("screens.json"));
        QVERIFY(screens.open(QIODevice::WriteOnly));
        screens.write(R"({"screens": [
            {"name": "left", "x": 0, "y": 0, "width": 1600, "height": 1000, "logicalDpi": 96, "dpr": 1},
            {"name": "right", "x": 1600, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96, "dpr": 1}]})");
        screens.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
        static char arg0[] = "test_settings";
        static char* argv[] = {arg0, nullptr};
        QVERIFY(InitUserInterface(1, argv) == 1);
        sim::SensorOptions options;
        options.pacing = false;
        m_com1 = std::make_unique<sim::PtySensor>(options);
        m_com2 = std::make_unique<sim::PtySensor>(options);
        m_com1->start();
        m_com2->start();
        qputenv("KORVA_COM1", QByteArray::fromStdString(m_com1->devicePath()));
        qputenv("KORVA_COM2", QByteArray::fromStdString(m_com2->devicePath()));
    }

    // The port chosen in the ring is greeted at the next start; while its device is absent, COM1.
    void portChosenIsGreetedNextTime()
    {
        SettingsHome home;
        uint64_t checks1 = m_com1->commandsReceived(ORDER_LINE_CHECK);
        Run first = RunProgram({}, [] { ChooseComPort(2); });
        greetedOn(first, 1, *m_com1, checks1);
        QVERIFY(first.messages.isEmpty());
        QCOMPARE(home.value("port").toInt(), 2);

        const uint64_t checks2 = m_com2->commandsReceived(ORDER_LINE_CHECK);
        greetedOn(RunProgram(), 2, *m_com2, checks2);

        qputenv("KORVA_COM2", "/nonexistent/korva-port");
        checks1 = m_com1->commandsReceived(ORDER_LINE_CHECK);
        const Run absent = RunProgram();
        qputenv("KORVA_COM2", QByteArray::fromStdString(m_com2->devicePath()));
        greetedOn(absent, 1, *m_com1, checks1);
        QCOMPARE(home.value("port").toInt(), 2);  // still remembered for when it is back

        checks1 = m_com1->commandsReceived(ORDER_LINE_CHECK);
        greetedOn(RunProgram({"--demo"}), 1, *m_com1, checks1);  // the demo's sensor is on COM1
    }

    // Parameter-file dialogs (Send and Get) and the record dialog start where their last file was
    // chosen; a folder that has gone is passed over.
    void foldersOfFilesChosenAreRemembered()
    {
        SettingsHome home;
        auto parameters = std::make_unique<QTemporaryDir>();
        auto records = std::make_unique<QTemporaryDir>();
        QString firstSend, firstRecord;
        RunProgram({}, [&] {
            firstSend = DialogFolder(PANEL_BTNSEND, parameters->filePath("KORVApara.dat"));
            firstRecord = DialogFolder(PANEL_BTNRECORD, records->filePath("run.csv"));
        });
        QCOMPARE(firstSend, DefaultFolder());
        QCOMPARE(firstRecord, Canonical(parameters->path()));  // where parameter files are, as before
        QVERIFY(QFile::exists(parameters->filePath("KORVApara.dat")));
        QVERIFY(QFile::exists(records->filePath("run.csv")));

        file_name.clear();  // as in a new process
        QString send, get, record;
        RunProgram({}, [&] {
            send = DialogFolder(PANEL_BTNSEND, "");
            get = DialogFolder(PANEL_BTNGET, "");
            record = DialogFolder(PANEL_BTNRECORD, "");
        });
        QCOMPARE(send, Canonical(parameters->path()));
        QCOMPARE(get, Canonical(parameters->path()));
        QCOMPARE(record, Canonical(records->path()));

        const QString parametersPath = Canonical(parameters->path());
        records.reset();
        RunProgram({}, [&] { record = DialogFolder(PANEL_BTNRECORD, ""); });
        QCOMPARE(record, parametersPath);
        parameters.reset();
        file_name.clear();
        RunProgram({}, [&] {
            send = DialogFolder(PANEL_BTNSEND, "");
            record = DialogFolder(PANEL_BTNRECORD, "");
        });
        QCOMPARE(send, DefaultFolder());
        QCOMPARE(record, DefaultFolder());
    }

    // The main window comes back where it was, on the screen it was on; a place that no longer
    // fits is moved, and shrunk if need be, into the free area of its screen, or of the primary
    // screen when it lies on none.
    void windowPlaceIsRestoredInsideTheScreen()
    {
        const QList<QScreen*> screens = QGuiApplication::screens();
        QCOMPARE(screens.size(), 2);
        const QRect left = screens[0]->availableGeometry();
        const QRect right = screens[1]->availableGeometry();
        SettingsHome home;
        const QRect placed(right.topLeft() + QPoint(40, 30), QSize(1100, 900));
        RunProgram({}, [&] {
            PanelWidget(panelHandle)->setGeometry(placed);
            ProcessFor(50);
        });
        QCOMPARE(home.value("window/main").toRect(), placed);
        QCOMPARE(RunProgram().geometry, placed);

        const struct {
            QRect saved, restored;
        } places[] = {
            // Hanging over the right screen's bottom right corner: moved back onto it.
            {QRect(right.right() - 300, right.bottom() - 200, 1100, 900),
             QRect(right.right() - 1099, right.bottom() - 899, 1100, 900)},
            // Too large for the right screen: as large as its free area.
            {QRect(right.left() + 100, right.top() + 50, 3000, 2000), right},
            // On no screen at all (one that is gone): onto the primary screen, whole.
            {QRect(-5000, 4000, 1100, 900), QRect(left.left(), left.bottom() - 899, 1100, 900)},
        };
        for (const auto& place : places) {
            {
                QSettings written(home.file(), QSettings::IniFormat);
                written.setValue("window/main", place.saved);
            }
            const Run run = RunProgram();
            QCOMPARE(run.geometry, place.restored);
            QVERIFY2(run.messages.isEmpty(), qPrintable(run.messages.join('\n')));
        }
    }

    // A settings file that cannot be read, or values that make no sense, are ignored with one
    // message each on standard error; the program starts as without them.
    void brokenSettingsAreIgnored()
    {
        {
            SettingsHome home;
            static constexpr char kGarbage[] = "port=2\n\x01\xff\xfe[[[\x00\x80 broken";
            QByteArray garbage(kGarbage, sizeof kGarbage - 1);
            garbage += QByteArray(200, '\x9c');
            home.write(garbage);
            const uint64_t checks = m_com1->commandsReceived(ORDER_LINE_CHECK);
            const Run run = RunProgram({}, [] { ChooseComPort(2); });
            greetedOn(run, 1, *m_com1, checks);
            QCOMPARE(run.messages.size(), 1);
            QVERIFY2(run.messages[0].contains("KORVA-TB Scope.conf") && run.messages[0].contains("ignoring"),
                     qPrintable(run.messages[0]));
            QCOMPARE(home.bytes(), garbage);  // left as it was, nothing written over it
        }
        {
            SettingsHome home;
            QVERIFY(QDir().mkpath(home.file()));
            const uint64_t checks = m_com1->commandsReceived(ORDER_LINE_CHECK);
            const Run run = RunProgram({}, [] { ChooseComPort(2); });
            greetedOn(run, 1, *m_com1, checks);
            QCOMPARE(run.messages.size(), 1);
            QVERIFY2(run.messages[0].contains("cannot read"), qPrintable(run.messages[0]));
            QVERIFY(QFileInfo(home.file()).isDir());
        }
        for (const QByteArray& port : {QByteArray("99"), QByteArray("abc"), QByteArray("0"), QByteArray("2.5")}) {
            SettingsHome home;
            home.write("[General]\nport=" + port +
                       "\n\n[folders]\nparameterFiles=@Rect(1 2 3 4)\n\n[window]\nmain=abc\n");
            const uint64_t checks = m_com1->commandsReceived(ORDER_LINE_CHECK);
            QString send;
            const Run run = RunProgram({}, [&] { send = DialogFolder(PANEL_BTNSEND, ""); });
            greetedOn(run, 1, *m_com1, checks);
            QCOMPARE(send, DefaultFolder());
            QCOMPARE(run.messages.size(), 3);  // port, folder, window: once each
            QVERIFY2(run.messages.filter("\"port\" (" + QString::fromLatin1(port) + ")").size() == 1,
                     qPrintable(run.messages.join('\n')));
        }
    }

    // --no-settings starts as the program without a memory: COM1, the dialogs in the default
    // folder, and nothing read or written.
    void noSettingsOptionReadsAndWritesNothing()
    {
        SettingsHome home;
        QTemporaryDir parameters;
        const QByteArray remembered =
            "[General]\nport=2\n\n[folders]\nparameterFiles=" + parameters.path().toUtf8() + "\n";
        home.write(remembered);
        const uint64_t checks = m_com1->commandsReceived(ORDER_LINE_CHECK);
        QString send;
        const Run run = RunProgram({"--no-settings"}, [&] {
            send = DialogFolder(PANEL_BTNSEND, parameters.filePath("other.dat"));
            ChooseComPort(2);
        });
        greetedOn(run, 1, *m_com1, checks);
        QCOMPARE(send, DefaultFolder());
        QCOMPARE(home.bytes(), remembered);
        QVERIFY(!home.holds("QtProject.conf"));  // nor the dialog's own memory

        SettingsHome fresh;
        RunProgram({"--no-settings"}, [] { ChooseComPort(2); });
        QVERIFY(fresh.empty());
    }

    // A settings file that is a FIFO, or a link to a device, is neither read (a FIFO would hold the
    // program at start-up) nor written (the device would be replaced by a file): one message, and
    // the program greets the sensor and ends as without settings. The device is one the test makes.
    void settingsThatAreNoFileAreLeftAlone()
    {
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.filePath("config/Vexlund")));
        const QString file = home.filePath("config/Vexlund/KORVA-TB Scope.conf");
        const QString device = home.filePath("null");
        QCOMPARE(mkfifo(QFile::encodeName(file).constData(), 0644), 0);
        for (const bool fifo : {true, false}) {
            if (!fifo) {
                QVERIFY(QFile::remove(file));
                if (mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                    QSKIP("making a device node was refused (needs root)");
                QVERIFY(QFile::link(device, file));
            }
            QProcess program;
            program.setProcessEnvironment(ProgramEnvironment(home));
            const uint64_t readBacks = m_com1->commandsReceived(ORDER_GET_RAM);
            program.start(QDir(QCoreApplication::applicationDirPath()).filePath("KorvaTBScope11Xe"), {});
            QVERIFY(program.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(m_com1->commandsReceived(ORDER_GET_RAM) > readBacks, 20000);
            program.terminate();
            QVERIFY(program.waitForFinished(10000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            const QString messages = QString::fromLocal8Bit(program.readAllStandardError());
            QCOMPARE(messages.count("not a regular file"), 1);
            struct stat status {};
            QCOMPARE(stat(QFile::encodeName(file).constData(), &status), 0);
            QVERIFY(fifo ? S_ISFIFO(status.st_mode) : S_ISCHR(status.st_mode));
            QVERIFY(fifo || QFileInfo(file).isSymLink());
        }
    }

    // The program itself, as a process: it remembers by default (here its window's place when it
    // ends on SIGTERM, once it has greeted the sensor), and with KORVA_NO_SETTINGS=1 it leaves no
    // settings file behind.
    void programRemembersUnlessTheEnvironmentSaysNo()
    {
        for (const bool off : {false, true}) {
            QTemporaryDir home;
            auto env = ProgramEnvironment(home);
            if (off)
                env.insert("KORVA_NO_SETTINGS", "1");
            QProcess program;
            program.setProcessEnvironment(env);
            program.start(QDir(QCoreApplication::applicationDirPath()).filePath("KorvaTBScope11Xe"), {});
            const uint64_t readBacks = m_com1->commandsReceived(ORDER_GET_RAM);
            QVERIFY(program.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(m_com1->commandsReceived(ORDER_GET_RAM) > readBacks, 20000);
            QTest::qWait(200);
            program.terminate();
            QVERIFY(program.waitForFinished(10000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            const QString file = home.filePath("config/Vexlund/KORVA-TB Scope.conf");
            QCOMPARE(QFile::exists(file), !off);
            if (off)
                QVERIFY(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
            else
                QVERIFY(QSettings(file, QSettings::IniFormat).value("window/main").toRect().isValid());
        }
    }
};

QTEST_APPLESS_MAIN(TestSettings)
#include "test_settings.moc"
