// Start-up, the event loop and shutdown: the program as a process, and its WinMain in this process
// with the simulated sensor on a pseudo-terminal.
#include "support/FileDialog.h"
#include "support/Program.h"

#include "ptysensor.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <unistd.h>

using namespace korva;
using namespace korva::test;

namespace {

QString ProgramPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath("KorvaTBScope11Xe");
}

// Runs the program with `env` and returns its exit code, or -1000 if it did not end in time.
int RunProgram(const QString& program, const QProcessEnvironment& env, int ms = 10000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, {});
    if (!process.waitForFinished(ms)) {
        process.kill();
        process.waitForFinished();
        return -1000;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2000;
}

struct InfoText {
    QString text;
    QPoint at;
    int pointSize;
};

std::vector<InfoText> InfoTexts()
{
    const std::vector<QString> texts = {"PC-SOFTWARE: KORVA Series", "Vexlund GmbH", "KORVA-TB-Rarav", "V1.1Xe"};
    std::vector<InfoText> found;
    for (QLabel* label : PanelWidget(panelHandle)->findChildren<QLabel*>())
        if (std::find(texts.begin(), texts.end(), label->text()) != texts.end() || label->text().startsWith("Tel: "))
            found.push_back({label->text(), label->pos(), label->font().pixelSize()});
    return found;
}

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        static char arg0[] = "test_startup";
        static char* argv[] = {arg0, nullptr};
        QVERIFY(InitUserInterface(1, argv) == 1);
    }

    void missingPanelFileEndsAtOnce()
    {
        QTemporaryDir dir;
        const QString copy = dir.filePath("KorvaTBScope11Xe");
        QVERIFY(QFile::copy(ProgramPath(), copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QCOMPARE(RunProgram(copy, env), 255);  // -1
    }

    void noDisplayEndsAtOnce()
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        QCOMPARE(RunProgram(ProgramPath(), env), 255);
    }

    // The whole life of the program: greeted sensor, first display, a Run, a close request in the
    // middle of it, shutdown with exit code 0.
    void fullLifeWithTheSimulatedSensor()
    {
        sim::SensorOptions options;
        options.pacing = false;
        sim::PtySensor sensor(options);
        sensor.start();
        qputenv("KORVA_COM1", QByteArray::fromStdString(sensor.devicePath()));

        struct Seen {
            bool mainShown = false, popUpShown = true;
            std::string status;
            std::vector<InfoText> info;
            int records = 0;
        } seen;
        QTimer::singleShot(300, [&] {
            seen.mainShown = PanelWidget(panelHandle)->isVisible();
            seen.popUpShown = PanelWidget(panelPopUp)->isVisible();
            seen.status = StatusText();
            seen.info = InfoTexts();
            Click(panelHandle, PANEL_BTNRUN);
        });
        QTimer::singleShot(900, [&] {
            seen.records = static_cast<int>(sensor.commandsReceived(ORDER_MEASURE));
            PanelWidget(panelHandle)->close();
        });
        static char arg0[] = "KorvaTBScope11Xe";
        static char* argv[] = {arg0, nullptr};
        QCOMPARE(WinMain(1, argv), 0);

        QVERIFY(seen.mainShown);
        QVERIFY(!seen.popUpShown);
        QCOMPARE(hidePopUp, uint16_t{1});
        QCOMPARE(seen.status, std::string("Parameter-frame received! - Line Ok!"));
        QVERIFY2(seen.records > 10, qPrintable(QString::number(seen.records)));
        QCOMPARE(stop_flag, 1);
        QCOMPARE(seen.info.size(), size_t{5});
        QCOMPARE(seen.info[0].at, QPoint(15, 8));
        for (const InfoText& text : seen.info)
            QCOMPARE(text.pointSize, text.text == "KORVA-TB-Rarav" ? 18 : 11);
        QVERIFY(GetInQLen(com) < 0);  // the port was closed at the end
    }

    // SIGTERM (a logout, systemctl, a launcher passing it on) ends the program as closing its
    // window does: the run stops, every recorded row reaches the file, the port is closed, its lock
    // file removed, and the exit code is 0.
    void quitSignalEndsTheProgramCleanly()
    {
        sim::SensorOptions options;
        options.numbered = true;
        sim::PtySensor sensor(options);
        sensor.start();
        qputenv("KORVA_COM1", QByteArray::fromStdString(sensor.devicePath()));
        const QString lock = "/run/lock/LCK.." + QString::fromStdString(sensor.devicePath()).mid(5).replace('/', '_');
        QTemporaryDir dir;
        const QString record = dir.filePath("run.csv");
        bool lockedWhileOpen = false;
        QTimer::singleShot(300, [&] {
            auto seen = AnswerFileDialog(record.toStdString());
            Click(panelHandle, PANEL_BTNRECORD);
            ProcessUntil([&] { return seen->answered; });
            QTimer::singleShot(700, [&] {
                lockedWhileOpen = QFile::exists(lock);
                kill(getpid(), SIGTERM);
            });
            Click(panelHandle, PANEL_BTNRUN);
        });
        static char arg0[] = "KorvaTBScope11Xe";
        static char* argv[] = {arg0, nullptr};
        QCOMPARE(WinMain(1, argv), 0);

        QCOMPARE(stop_flag, 1);
        QVERIFY(lockedWhileOpen);
        QVERIFY(!QFile::exists(lock));
        QFile file(record);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.endsWith('\n'));
        const qsizetype rows = text.count('\n') - 1;
        QVERIFY2(rows > 10, qPrintable(QString::number(rows)));
        QCOMPARE(uint64_t(rows), sensor.commandsReceived(ORDER_MEASURE));  // every answer, the last too
    }

    void tickCounterStopsAt60000()
    {
        ttick = 0;
        for (int i = 0; i < 60000; ++i)
            CC_Timer50ms(nullptr);
        QCOMPARE(ttick, uint16_t{60000});
        for (int i = 0; i < 10000; ++i)
            CC_Timer50ms(nullptr);
        QCOMPARE(ttick, uint16_t{60000});
        ttick = 0;
    }

    void statusBufferIsBounded()
    {
        const std::string longText(200, 'x');
        StoreStatus(longText.c_str());
        QCOMPARE(std::string(szStatus), std::string(STATUS_SIZE - 1, 'x'));
        ShowMessage("Line Ok!");
        QCOMPARE(std::string(szStatus), std::string(STATUS_SIZE - 1, 'x'));  // direct messages leave it alone
    }
};

QTEST_APPLESS_MAIN(TestStartup)
#include "test_startup.moc"
