// The pseudo-terminal server, talked to through the real slave device like the program does.

#include "support/Pty.h"
#include "ptysensor.h"

#include <QTemporaryDir>
#include <QTest>

#include <QFile>
#include <QFileInfo>

#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <memory>

using namespace korva::sim;
using namespace korva::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kBlockBytes = 2 * kBlockWords;  // a bare data block
const Words kSomeSet{700, 1, 400, 30, 0, 2, 150, 850, 180, 20, 0, 1, 1, 300, 1, 42};

std::unique_ptr<PtySensor> startSensor(SensorOptions options)
{
    auto sensor = std::make_unique<PtySensor>(std::move(options));
    sensor->start();
    return sensor;
}

SensorOptions unpaced()
{
    SensorOptions options;
    options.pacing = false;
    return options;
}

template <typename Change>
SensorOptions withFaults(Change change)
{
    SensorOptions options = unpaced();
    change(options.faults);
    return options;
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Time of `count` exchanges of one measurement each, answers read in full.
double measurementRun(Pty& client, int count)
{
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        if (client.Exchange(Measure).size() != kFrameBytes)
            return -1;
    }
    return millisecondsSince(start);
}

bool silentFor(Pty& client, std::chrono::milliseconds wait)
{
    return client.Receive(1, wait).empty();
}

double processCpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& tv) { return tv.tv_sec * 1000.0 + tv.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

std::string stored(const QString& path)
{
    std::ifstream in(path.toStdString());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

class PtySensorTest : public QObject {
    Q_OBJECT

private slots:
    void answersThroughTheDevice();
    void pacingKeepsToTheLineSpeed();
    void withoutPacingAnswersAtOnce();
    void faultsShapeTheAnswers();
    void deviceCanBeClosedAndReopened();
    void floodIsHeldBackNotBuffered();
    void strayBytesAndStalePartialFramesAreSkipped();
    void eepromFileKeepsTheSetAcrossRuns();
    void linkIsReplacedAndRemoved();
};

void PtySensorTest::answersThroughTheDevice()
{
    auto sensor = startSensor(unpaced());
    QVERIFY(sensor->devicePath().starts_with("/dev/"));
    Pty client(sensor->devicePath());
    QVERIFY(client.IsOpen());

    const Bytes echo = client.Exchange(LineCheck, kStartParameters);
    QCOMPARE(echo.size(), kFrameBytes);
    QCOMPARE(frameWords(echo)[0], kEchoWord);

    QVERIFY(client.Send(encodeFrame(WriteRam, kSomeSet)));
    QVERIFY(silentFor(client, 200ms));
    QCOMPARE(frameWords(client.Exchange(ReadRam)), kSomeSet);
    QCOMPARE(sensor->ram(), kSomeSet);
    QCOMPARE(sensor->eeprom(), kStartParameters);

    QCOMPARE(client.Exchange(DataBlock, {128, 1}, kBlockBytes).size(), kBlockBytes);
    QVERIFY(silentFor(client, 100ms));   // a bare block, nothing after it
    QCOMPARE(sensor->lastCommandWords(), (Words{128, 1}));

    QCOMPARE(sensor->commandsReceived(LineCheck), 1u);
    QCOMPARE(sensor->commandsReceived(WriteRam), 1u);
    QCOMPARE(sensor->commandsReceived(ReadRam), 1u);
    QCOMPARE(sensor->commandsReceived(DataBlock), 1u);
    QCOMPARE(sensor->commandsReceived(Measure), 0u);
}

// Each exchange takes at least the time its bytes need at 19200 baud (ten bits a byte):
// 72 bytes for a measurement, 36 + 256 for a data block.
void PtySensorTest::pacingKeepsToTheLineSpeed()
{
    auto sensor = startSensor({});
    Pty client(sensor->devicePath());
    const double lineMs = 10.0 * 1000.0 / 19200.0;

    const double run = measurementRun(client, 20);
    QVERIFY2(run >= 20 * 72 * lineMs, qPrintable(QString::number(run)));

    const auto start = Clock::now();
    QCOMPARE(client.Exchange(DataBlock, {0, 0}, kBlockBytes).size(), kBlockBytes);
    QVERIFY(millisecondsSince(start) >= (kFrameBytes + kBlockBytes) * lineMs);

    // Commands sent together queue on the line: a parameter write and a line check in one
    // go are answered only after three frame times.
    const auto both = Clock::now();
    Bytes two = encodeFrame(WriteRam, kStartParameters);
    const Bytes second = encodeFrame(LineCheck, {});
    two.insert(two.end(), second.begin(), second.end());
    QVERIFY(client.Send(two));
    QCOMPARE(client.Receive(kFrameBytes, 2000ms).size(), kFrameBytes);
    QVERIFY(millisecondsSince(both) >= 3 * kFrameBytes * lineMs);
}

void PtySensorTest::withoutPacingAnswersAtOnce()
{
    auto sensor = startSensor(unpaced());
    Pty client(sensor->devicePath());
    const double run = measurementRun(client, 20);
    QVERIFY(run >= 0);
    QVERIFY2(run < 20 * 37.5 / 2, qPrintable(QString::number(run)));
}

void PtySensorTest::faultsShapeTheAnswers()
{
    {
        auto sensor = startSensor(withFaults([](Faults& f) { f.silent = true; }));
        Pty client(sensor->devicePath());
        QVERIFY(client.Send(encodeFrame(LineCheck, {})));
        QVERIFY(client.Send(encodeFrame(WriteRam, kSomeSet)));
        QVERIFY(client.Send(encodeFrame(DataBlock, {})));
        QVERIFY(silentFor(client, 300ms));
        QCOMPARE(sensor->commandsReceived(LineCheck), 1u);
        QCOMPARE(sensor->ram(), kSomeSet);   // it listens, it only does not talk
    }
    {
        auto sensor = startSensor(withFaults([](Faults& f) { f.wrongEcho = true; }));
        Pty client(sensor->devicePath());
        QCOMPARE(frameWords(client.Exchange(LineCheck))[0], std::uint16_t(0xAA00));
        QCOMPARE(frameWords(client.Exchange(ReadRam)), kStartParameters);
    }
    {
        auto sensor = startSensor(withFaults([](Faults& f) { f.truncate = 10; }));
        Pty client(sensor->devicePath());
        const Bytes full = encodeFrame(ReadRam, kStartParameters);
        QCOMPARE(client.Exchange(ReadRam, {}, kFrameBytes, 300ms), Bytes(full.begin(), full.begin() + 10));
        QCOMPARE(client.Exchange(DataBlock, {}, kBlockBytes, 300ms).size(), std::size_t(10));
    }
    {
        auto sensor = startSensor(withFaults([](Faults& f) { f.extra = 5; }));
        Pty client(sensor->devicePath());
        const Bytes longer = client.Exchange(LineCheck, {}, kFrameBytes + 10, 300ms);
        QCOMPARE(longer.size(), kFrameBytes + 5);
        QCOMPARE(Bytes(longer.begin() + kFrameBytes, longer.end()), Bytes(5, Faults::kJunk));
        QVERIFY(client.Send(encodeFrame(WriteRam, kSomeSet)));
        QVERIFY(silentFor(client, 200ms));   // no answer, so no junk either
    }
    {
        SensorOptions options = unpaced();
        options.latency = 200ms;
        auto sensor = startSensor(options);
        Pty client(sensor->devicePath());
        const auto start = Clock::now();
        QCOMPARE(client.Exchange(LineCheck).size(), kFrameBytes);
        QVERIFY(millisecondsSince(start) >= 200);
    }
    {
        SensorOptions options = unpaced();
        options.lateOrders = 1u << LineCheck;   // --answer-late 7=300
        options.lateBy = 300ms;
        auto sensor = startSensor(options);
        Pty client(sensor->devicePath());
        auto start = Clock::now();
        QCOMPARE(client.Exchange(ReadRam).size(), kFrameBytes);
        QVERIFY(millisecondsSince(start) < 250);
        start = Clock::now();
        QCOMPARE(client.Exchange(LineCheck).size(), kFrameBytes);
        QVERIFY(millisecondsSince(start) >= 300);
    }
    {
        auto sensor = startSensor(withFaults([](Faults& f) { f.dropEvery = 3; }));
        Pty client(sensor->devicePath());
        for (int i = 1; i <= 6; ++i) {
            const Bytes echo = client.Exchange(LineCheck, {}, kFrameBytes, 300ms);
            QCOMPARE(echo.empty(), i % 3 == 0);
        }
        QCOMPARE(sensor->commandsReceived(LineCheck), 6u);
    }
}

// The program closes and reopens the device; the sensor keeps serving, and while nobody has
// the device open it sleeps (a generous guard: under a third of a core).
void PtySensorTest::deviceCanBeClosedAndReopened()
{
    auto sensor = startSensor(unpaced());
    for (int round = 0; round < 3; ++round) {
        Pty client(sensor->devicePath());
        QVERIFY(client.IsOpen());
        QCOMPARE(frameWords(client.Exchange(LineCheck))[0], kEchoWord);
        QVERIFY(client.Send(encodeFrame(WriteRam, kSomeSet)));
    }
    const double cpuBefore = processCpuMilliseconds();
    QTest::qWait(300);
    QVERIFY(processCpuMilliseconds() - cpuBefore < 100);

    Pty last(sensor->devicePath());
    QCOMPARE(frameWords(last.Exchange(ReadRam)), kSomeSet);
    QCOMPARE(sensor->commandsReceived(LineCheck), 3u);
}

// Block requests written without reading a byte of the answers: the sensor holds a few KB at
// most and leaves the rest in the device, whose full buffer stops the writer; once the answers
// are read, every request is answered and the sensor serves on.
void PtySensorTest::floodIsHeldBackNotBuffered()
{
    auto sensor = startSensor(unpaced());
    Pty client(sensor->devicePath());
    const Bytes request = encodeFrame(DataBlock, {0, 0});
    std::size_t sent = 0;
    std::size_t cut = 0;  // bytes of the request the full device took last
    while (sent < 10000 && (cut = client.SendSome(request)) == request.size())
        ++sent;
    QTest::qWait(300);
    QVERIFY2(sensor->mostBytesHeld() <= PtySensor::kOutboxLimit + kBlockBytes + kFrameBytes,
             qPrintable(QString::number(sensor->mostBytesHeld())));

    QCOMPARE(client.Receive(kBlockBytes * sent, 5000ms).size(), kBlockBytes * sent);
    // A request cut short by the full device is finished, so that no half frame is left behind.
    if (cut > 0 && cut < request.size()) {
        QVERIFY(client.Send(Bytes(request.begin() + std::ptrdiff_t(cut), request.end())));
        QCOMPARE(client.Receive(kBlockBytes, 2000ms).size(), kBlockBytes);
        ++sent;
    }
    QVERIFY(silentFor(client, 100ms));
    QCOMPARE(sensor->commandsReceived(DataBlock), sent);
    QCOMPARE(frameWords(client.Exchange(LineCheck))[0], kEchoWord);
}

void PtySensorTest::strayBytesAndStalePartialFramesAreSkipped()
{
    auto sensor = startSensor(unpaced());
    Pty client(sensor->devicePath());
    QVERIFY(client.Send(Bytes{0x12, 0x00, 0x00, 0x34, 0x55, 0x00}));
    QCOMPARE(frameWords(client.Exchange(LineCheck))[0], kEchoWord);

    // The start of a read-back left without its end is dropped after a pause; the next
    // command is then taken as it is and not as the rest of the old one.
    Bytes partial = encodeFrame(ReadRam, {});
    partial.resize(14);
    QVERIFY(client.Send(partial));
    QTest::qWait(250);
    const Bytes answer = client.Exchange(LineCheck);
    QCOMPARE(answer.size(), kFrameBytes);
    QCOMPARE(frameOrder(answer), std::uint16_t(LineCheck));
    QCOMPARE(sensor->commandsReceived(ReadRam), 0u);
}

void PtySensorTest::eepromFileKeepsTheSetAcrossRuns()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("eeprom.txt");
    SensorOptions options = unpaced();
    options.eepromFile = file.toStdString();
    {
        auto sensor = startSensor(options);
        QCOMPARE(sensor->eeprom(), kStartParameters);
        QVERIFY(!QFile::exists(file));
        Pty client(sensor->devicePath());
        QVERIFY(client.Send(encodeFrame(WriteEeprom, kSomeSet)));
        QCOMPARE(frameWords(client.Exchange(ReadEeprom)), kSomeSet);
        QCOMPARE(stored(file), std::string("700\n1\n400\n30\n0\n2\n150\n850\n180\n20\n0\n1\n1\n300\n1\n42\n"));
        QVERIFY(!QFile::exists(file + ".tmp"));
        QVERIFY(client.Send(encodeFrame(WriteRam, kStartParameters)));   // RAM alone is not kept
        QCOMPARE(frameWords(client.Exchange(ReadRam)), kStartParameters);
    }
    {
        auto sensor = startSensor(options);
        QCOMPARE(sensor->eeprom(), kSomeSet);
        Pty client(sensor->devicePath());
        QCOMPARE(frameWords(client.Exchange(ReadRam)), kSomeSet);
    }
    for (const char* broken : {"1\n2\n3\n", "500\n0\n512\nabc\n1\n1\n200\n800\n512\n100\n1\n0\n0\n1\n0\n0\n",
                               "70000\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n"}) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(broken);
        out.close();
        PtySensor sensor(options);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, sensor.start());
    }

    // A link to the file is written through and kept; a FIFO (or a device) is neither read, which
    // would hold the sensor for good, nor replaced by a file.
    QVERIFY(QFile::remove(file));
    const QString link = dir.filePath("eeprom-link.txt");
    QVERIFY(QFile::link(file, link));
    const QString fifo = dir.filePath("eeprom.fifo");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    for (const QString& path : {link, fifo}) {
        options.eepromFile = path.toStdString();
        auto sensor = startSensor(options);
        Pty client(sensor->devicePath());
        QVERIFY(client.Send(encodeFrame(WriteEeprom, kSomeSet)));
        QCOMPARE(frameWords(client.Exchange(ReadEeprom)), kSomeSet);
    }
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(stored(file), std::string("700\n1\n400\n30\n0\n2\n150\n850\n180\n20\n0\n1\n1\n300\n1\n42\n"));
    struct stat status {};
    QCOMPARE(stat(QFile::encodeName(fifo).constData(), &status), 0);
    QVERIFY(S_ISFIFO(status.st_mode));
}

void PtySensorTest::linkIsReplacedAndRemoved()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("tty");
    QVERIFY(QFile::link(dir.filePath("elsewhere"), link));
    SensorOptions options = unpaced();
    options.linkPath = link.toStdString();
    auto sensor = startSensor(options);
    QCOMPARE(QFileInfo(link).symLinkTarget().toStdString(), sensor->devicePath());
    {
        Pty client(link.toStdString());
        QCOMPARE(frameWords(client.Exchange(LineCheck))[0], kEchoWord);
    }
    sensor->stop();
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));
}

QTEST_GUILESS_MAIN(PtySensorTest)
#include "test_sim_pty.moc"
