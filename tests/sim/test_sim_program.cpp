// The korva-sensor-sim program as a child process: device path on the first line, serving
// through a link, calm while idle, a clean end on SIGTERM and SIGINT, and its command line.

#include "support/Pty.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace korva::sim;
using namespace korva::test;

namespace {

const QString kProgram = QStringLiteral(KORVA_SIM_PROGRAM);

// CPU time (user + system) the process has used, in clock ticks.
long cpuTicks(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)   // state .. cmajflt
        fields >> skip;
    long user = 0, system = 0;
    fields >> user >> system;
    return user + system;
}

QString firstLine(QProcess& process)
{
    while (!process.canReadLine() && process.waitForReadyRead(5000)) {
    }
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

struct Run {
    int exitCode;
    QString out;
    QString err;
};

Run runToEnd(const QStringList& arguments)
{
    QProcess process;
    process.start(kProgram, arguments);
    if (!process.waitForFinished(5000))
        return {-100, {}, {}};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT

private slots:
    void servesThroughTheLinkUntilStopped_data();
    void servesThroughTheLinkUntilStopped();
    void commandLine();
};

void ProgramTest::servesThroughTheLinkUntilStopped_data()
{
    QTest::addColumn<int>("stopSignal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

void ProgramTest::servesThroughTheLinkUntilStopped()
{
    QFETCH(int, stopSignal);
    QTemporaryDir dir;
    const QString link = dir.filePath("tty");
    QProcess process;
    process.start(kProgram, {"--no-pacing", "--link", link});
    QVERIFY(process.waitForStarted());

    const QString device = firstLine(process);
    QVERIFY2(device.startsWith("/dev/"), qPrintable(device));
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);
    {
        Pty client(link.toStdString());
        QVERIFY(client.IsOpen());
        QCOMPARE(frameWords(client.Exchange(LineCheck))[0], kEchoWord);
        const Words set{800, 0, 450, 0, 1, 3, 100, 900, 500, 50, 1, 0, 0, 1, 0, 0};
        QVERIFY(client.Send(encodeFrame(WriteRam, set)));
        QCOMPARE(frameWords(client.Exchange(ReadRam)), set);
        QCOMPARE(frameWords(client.Exchange(Measure))[3], std::uint16_t(500));
    }

    // Idle, it sleeps: a generous guard of a tenth of a core over one second.
    const long before = cpuTicks(process.processId());
    QTest::qWait(1000);
    QVERIFY(cpuTicks(process.processId()) - before <= sysconf(_SC_CLK_TCK) / 10);

    QCOMPARE(::kill(pid_t(process.processId()), stopSignal), 0);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void ProgramTest::commandLine()
{
    const Run help = runToEnd({"--help"});
    QCOMPARE(help.exitCode, 0);
    for (const char* option : {"--link", "--eeprom", "--seed", "--no-pacing", "--latency", "--silent",
                               "--wrong-echo", "--truncate", "--extra", "--drop-every", "--help"})
        QVERIFY2(help.out.contains(option), option);

    const Run badNumber = runToEnd({"--truncate", "ten"});
    QCOMPARE(badNumber.exitCode, 2);
    QVERIFY2(badNumber.err.contains("--truncate") && badNumber.err.contains("\"ten\""), qPrintable(badNumber.err));
    for (const QStringList& outOfRange : {QStringList{"--extra", "4294967295"}, QStringList{"--truncate", "256"},
                                          QStringList{"--latency", "10001"}, QStringList{"--drop-every", "1000001"}}) {
        const Run refused = runToEnd(outOfRange);
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.contains(outOfRange[0] + " needs a whole number from 0 to "), qPrintable(refused.err));
    }
    QCOMPARE(runToEnd({"--bogus"}).exitCode, 2);
    QCOMPARE(runToEnd({"--latency"}).exitCode, 2);
    QCOMPARE(runToEnd({"stray"}).exitCode, 2);

    QTemporaryDir dir;
    const QString eeprom = dir.filePath("eeprom.txt");
    QFile file(eeprom);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("500\nfive hundred\n");
    file.close();
    const Run broken = runToEnd({"--eeprom", eeprom});
    QCOMPARE(broken.exitCode, 1);
    QVERIFY2(broken.err.contains(eeprom), qPrintable(broken.err));
    QVERIFY(broken.out.isEmpty());
}

QTEST_GUILESS_MAIN(ProgramTest)
#include "test_sim_program.moc"
