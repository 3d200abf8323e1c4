// korva-tb as a script runs it: the built program against the simulated sensor on a pseudo-terminal,
// its output, its files and its exit codes.
#include "link/Com232.h"
#include "ptysensor.h"
#include "rs232.h"
#include "support/Pty.h"
#include "support/SmallDisk.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <string>

using namespace korva;
using namespace korva::test;

namespace {

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

QProcess* Start(const QStringList& arguments)
{
    auto* process = new QProcess;
    process->start(QStringLiteral(KORVA_TB), arguments);
    return process;
}

Outcome Finish(QProcess* process)
{
    process->waitForFinished(30000);
    Outcome o{process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
              QString::fromUtf8(process->readAllStandardOutput()), QString::fromUtf8(process->readAllStandardError())};
    delete process;
    return o;
}

Outcome Run(const QStringList& arguments)
{
    return Finish(Start(arguments));
}

QStringList ReadLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    QStringList lines = text.split('\n');
    if (text.endsWith('\n'))
        lines.removeLast();
    return lines;
}

// The value column (record word 2) of each row: the simulated sensor's record numbers.
bool NumberedInOrder(const QStringList& rows, int count)
{
    for (int n = 1; n <= count; ++n)
        if (rows[n].split(',').value(4).toInt() != n)
            return false;
    return true;
}

}  // namespace

class TestCli : public QObject {
    Q_OBJECT

    std::unique_ptr<sim::PtySensor> sensor;
    QStringList device;
    QTemporaryDir folder;

private slots:
    void init()
    {
        sim::SensorOptions options;
        options.numbered = true;
        sensor = std::make_unique<sim::PtySensor>(options);
        sensor->start();
        device = {"--device", QString::fromStdString(sensor->devicePath())};
    }

    void cleanup() { sensor.reset(); }

    void checkGetAndTeach()
    {
        const Outcome check = Run(QStringList{"check"} + device);
        QCOMPARE(check.code, 0);
        QCOMPARE(check.out, QString("Line Ok!\n"));

        const QString file = folder.filePath("sensor.dat");
        const Outcome get = Run(QStringList{"get", "--out", file} + device);
        QCOMPARE(get.code, 0);
        QVERIFY(get.out.startsWith("power=500\npwrMode=0\nvThd=512\n"));
        QVERIFY(get.out.endsWith("bMode=0\npara15=0\n"));
        QCOMPARE(ReadLines(file).value(0), QString(" 500"));
        QVERIFY(Run(QStringList{"get", "--json", "--from", "eeprom"} + device).out.startsWith("{\"power\":500,"));

        const Outcome teach = Run(QStringList{"teach"} + device);
        QCOMPARE(teach.code, 0);
        QCOMPARE(teach.out.section('\n', 1, 1), "tVal=" + QString::number(sensor->ram()[8]));
        QCOMPARE(Run(QStringList{"teach", "--background"} + device).code, 0);
        QCOMPARE(sensor->commandsReceived(ORDER_SEND_EEPROM), uint64_t{0});
    }

    void runRecordsEveryRecordInOrder()
    {
        const QString csv = folder.filePath("run.csv");
        const Outcome run = Run(QStringList{"run", "--records", "500", "--csv", csv} + device);
        QCOMPARE(run.code, 0);
        QVERIFY2(run.err.startsWith("records 500 "), qPrintable(run.err));
        const QStringList rows = ReadLines(csv);
        QCOMPARE(rows.size(), 501);
        QCOMPARE(rows[0], QString("time,seconds,") + RECORD_WORDS_HEADER);
        QVERIFY(NumberedInOrder(rows, 500));
    }

    void interruptedRunEndsWholeWithoutLock()
    {
        const QString csv = folder.filePath("interrupted.csv");
        QProcess* process = Start(QStringList{"run", "--csv", csv, "--quiet"} + device);
        QTRY_VERIFY_WITH_TIMEOUT(sensor->commandsReceived(ORDER_MEASURE) > 20, 10000);
        ::kill(static_cast<pid_t>(process->processId()), SIGINT);
        const Outcome run = Finish(process);
        QCOMPARE(run.code, 0);
        const QStringList rows = ReadLines(csv);
        QVERIFY(rows.size() > 20);
        QCOMPARE(uint64_t(rows.size() - 1), sensor->commandsReceived(ORDER_MEASURE));  // the last answer too
        QVERIFY(NumberedInOrder(rows, static_cast<int>(rows.size() - 1)));
        const QString lock = "/run/lock/LCK.." + QString::fromStdString(sensor->devicePath()).mid(5).replace('/', '_');
        QVERIFY(!QFile::exists(lock));
    }

    // All sixteen at the top of their ranges, then at 0: what the EEPROM holds is what was sent.
    // A value out of range sends nothing.
    void sendToEepromAndBack()
    {
        for (const bool top : {true, false}) {
            QStringList send{"send", "--to", "eeprom"};
            QString expected;
            for (int i = 0; i < PNUM; ++i) {
                const QString name = QString::fromLatin1(PARAMETER_NAMES[i]);
                const unsigned value = top ? PARAMETER_MAX[i] : 0;
                send << "--set" << name + '=' + QString::number(value);
                expected += name + '=' + QString::number(value) + '\n';
            }
            QCOMPARE(Run(send + device).code, 0);
            QCOMPARE(Run(QStringList{"get", "--from", "eeprom"} + device).out, expected);
        }
        const uint64_t asked = sensor->commandsReceived(ORDER_GET_RAM);
        const Outcome refused = Run(QStringList{"send", "--to", "eeprom", "--set", "tTol=513"} + device);
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.err.contains("tTol: 513 is out of its range 0 to 512"), qPrintable(refused.err));
        QCOMPARE(sensor->commandsReceived(ORDER_GET_RAM), asked);
        QCOMPARE(sensor->commandsReceived(ORDER_SEND_EEPROM), uint64_t{2});

        const QString file = folder.filePath("ram.dat");
        QCOMPARE(Run(QStringList{"get", "--out", file} + device).code, 0);
        const Outcome sent = Run(QStringList{"send", "--to", "ram", file, "--set", "vThd=600"} + device);
        QCOMPARE(sent.code, 0);
        QCOMPARE(sent.out, QString("vThd: 0 -> 600\n"));
        QCOMPARE(Run(QStringList{"send", "--to", "ram", folder.filePath("none.dat")} + device).code, 5);
    }

    void findDataAndRunToStandardOutput()
    {
        qputenv("KORVA_COM3", QByteArray::fromStdString(sensor->devicePath()));
        const Outcome find = Run({"find", "--json"});
        qunsetenv("KORVA_COM3");
        QCOMPARE(find.code, 0);
        QCOMPARE(find.out, "{\"port\":3,\"device\":\"" + QString::fromStdString(sensor->devicePath()) + "\"}\n");

        const QStringList data = Run(QStringList{"data", "--passes", "2"} + device).out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(data.size(), 1 + 2 * CURVE_POINTS);
        QCOMPARE(data[0], QString("pass,x,video,threshold"));
        QVERIFY(data[CURVE_POINTS].startsWith("1,1020,") && data[CURVE_POINTS + 1].startsWith("2,0,"));

        const Outcome run = Run(QStringList{"run", "--records", "10", "--json"} + device);
        QCOMPARE(run.out.count('\n'), 11);
        QVERIFY2(run.err.startsWith("{\"records\":10,"), qPrintable(run.err));
    }

    // A pulled cable ends the run by its time-out, a full disk by the failed write; the rows so far
    // stay whole either way.
    void faultsEndARunWithWholeRows()
    {
        const QString csv = folder.filePath("pulled.csv");
        QProcess* process = Start(QStringList{"run", "--csv", csv} + device);
        QTRY_VERIFY_WITH_TIMEOUT(sensor->commandsReceived(ORDER_MEASURE) > 20, 10000);
        sensor->stop();
        const Outcome pulled = Finish(process);
        QCOMPARE(pulled.code, 3);
        QVERIFY2(pulled.err.contains("Timeout RS232-Line!"), qPrintable(pulled.err));
        QVERIFY(ReadLines(csv).size() > 20);
        QCOMPARE(ReadLines(csv).last().count(QLatin1Char(',')), RECORD_WORDS + 1);

        init();
        const SmallDisk disk;
        if (!disk.mounted())
            QSKIP("mounting a small disk needs root");
        const QString onDisk = disk.filePath("full.csv");
        process = Start(QStringList{"run", "--seconds", "60", "--csv", onDisk} + device);
        QTRY_VERIFY_WITH_TIMEOUT(ReadLines(onDisk).size() > 10, 10000);
        QVERIFY(disk.Fill());
        const Outcome full = Finish(process);
        QCOMPARE(full.code, 5);
        QVERIFY2(full.err.contains("Cannot write record file!"), qPrintable(full.err));
        QFile file(onDisk);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().endsWith('\n'));
    }

    // One exit code each: usage, a port held by another user (as the program holds it), a silent
    // line, a file that cannot be written, a read-back that differs from what was sent.
    void exitCodes()
    {
        QCOMPARE(Run({"bogus"}).code, 1);
        QCOMPARE(Run({"get", "--port", "13"}).code, 1);
        QCOMPARE(Run({"run", "--records", "5", "--seconds", "1"}).code, 1);

        qputenv("KORVA_COM7", QByteArray::fromStdString(sensor->devicePath()));
        QCOMPARE(OpenComConfig(7, "", 19200, 0, 8, 1, 4096, 4096), 0);
        const Outcome held = Run(QStringList{"check"} + device);
        CloseCom(7);
        QCOMPARE(held.code, 2);
        QVERIFY2(held.err.contains("Cannot open port"), qPrintable(held.err));

        const Pty silent;
        const Outcome check = Run({"check", "--device", QString::fromStdString(silent.DevicePath())});
        QCOMPARE(check.code, 3);
        QCOMPARE(check.err, QString("korva-tb: Timeout-RS-232...\n"));

        QCOMPARE(Run(QStringList{"get", "--out", folder.filePath("missing/x.dat")} + device).code, 5);

        // A sensor that keeps its start values whatever it is sent.
        const ScriptedPeer stubborn([](const Bytes& command) {
            return sim::frameOrder(command) == ORDER_GET_RAM ? sim::encodeFrame(ORDER_GET_RAM, sim::kStartParameters)
                                                             : Bytes{};
        });
        const Outcome differs =
            Run({"send", "--to", "ram", "--set", "vThd=600", "--device", QString::fromStdString(stubborn.path())});
        QCOMPARE(differs.code, 4);
        QVERIFY2(differs.err.contains("vThd: sent 600, read back 512"), qPrintable(differs.err));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
