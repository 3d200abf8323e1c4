// The serial-port library on the simulated line: the device "sim:<options>" connects a port to the
// simulated sensor (the engine of korva-sensor-sim) inside this process. The test talks to it as
// the program does, through the port functions, and looks at the sensor through inspection.
#include "inspect.h"
#include "rs232.h"
#include "simsensor.h"
#include "simulatedsensor.h"
#include "support/Cpu.h"
#include "support/Events.h"
#include "support/Reception.h"
#include "userint.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <vector>


namespace korva {

using test::ProcessFor;
using test::ProcessUntil;
using test::Reception;
using test::ReceptionOf;
using test::RecordEvents;
using test::CloseOnEvent;

namespace {

constexpr int kPort = 5;
constexpr int kFrameSize = 36;
constexpr int kBlockSize = 256;
constexpr char kSync = 0x55;
const sim::Words kSomeSet{700, 1, 400, 30, 0, 2, 150, 850, 180, 20, 0, 1, 1, 300, 1, 42};

int Open(const char* device, int inputQueueSize = 4096)
{
    return OpenComConfig(kPort, device, 19200, 0, 8, 1, inputQueueSize, 4096);
}

QString LastOpenError()
{
    return QString::fromStdString(ComLastOpenError());
}

QByteArray Frame(uint16_t order, const sim::Words& words = {})
{
    const sim::Bytes frame = sim::encodeFrame(order, words);
    return {reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(frame.size())};
}

uint16_t OrderOf(const QByteArray& frame)
{
    return sim::frameOrder({reinterpret_cast<const uint8_t*>(frame.constData()), static_cast<size_t>(frame.size())});
}

sim::Words WordsOf(const QByteArray& frame)
{
    return sim::frameWords({reinterpret_cast<const uint8_t*>(frame.constData()), static_cast<size_t>(frame.size())});
}

bool Write(const QByteArray& bytes)
{
    return ComWrt(kPort, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
}

QByteArray Read(int count)
{
    QByteArray bytes(count, '\0');
    bytes.truncate(std::max(ComRd(kPort, bytes.data(), static_cast<size_t>(count)), 0));
    return bytes;
}

// One exchange: the command, and its answer frame once it has arrived.
QByteArray Exchange(uint16_t order, const sim::Words& words = {})
{
    if (!Write(Frame(order, words)) || !ProcessUntil([] { return GetInQLen(kPort) >= kFrameSize; }))
        return {};
    return Read(kFrameSize);
}

const sim::SimulatedSensor& Sensor()
{
    return *SimulatedSensorOf(kPort);
}


// As the program's receive handler: reads one frame on a notify event.
void ReceiveFrame(int port, int events, void* data)
{
    RecordEvents(port, events, data);
    if ((events & COM_EVENT_NOTIFY) != 0)
        ReceptionOf(data).frames.append(Read(kFrameSize));
}

// Takes the first frame, then sends a request and processes events itself while its answer comes.
void ReceiveWhileProcessing(int port, int events, void* data)
{
    Reception& r = ReceptionOf(data);
    r.maxDepth = std::max(r.maxDepth, ++r.depth);
    ReceiveFrame(port, events, data);
    if (r.frames.size() == 1) {
        Write(Frame(sim::Measure));
        ProcessFor(150);
    }
    --r.depth;
}

// What the serial ports' tap saw.
struct Tapped {
    int port;
    bool written;
    QByteArray bytes;
    bool operator==(const Tapped&) const = default;
};
std::vector<Tapped> g_tapped;

void RecordTap(int port, bool written, const char* bytes, int count)
{
    g_tapped.push_back({port, written, QByteArray(bytes, count)});
}

}  // namespace

class TestSimLine : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        CloseCom(kPort);
        qunsetenv("KORVA_COM5");
    }

    void optionsChooseTheSensorOrRefuseTheOpen();
    void answersArePacedAndArriveDuringEventProcessing();
    void blockingReadWaitsAndDefersTheCallback();
    void flushDropsWhatArrived();
    void fullInputQueueDropsWhatArrives();
    void callbackMayProcessEventsOrClose();
    void tapSeesWhatReadsAndWritesPass();
};

void TestSimLine::optionsChooseTheSensorOrRefuseTheOpen()
{
    QTemporaryDir dir;
    const QString eeprom = dir.filePath("eeprom.txt");
    QFile file(eeprom);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("500\nfive hundred\n");
    file.close();

    // Options korva-sensor-sim refuses, those that need a device of its own, and an EEPROM file
    // that cannot be read: the port does not open, and the reason says why.
    const QList<std::pair<QString, QString>> refused = {
        {"sim:--bogus", "unknown option or missing value: --bogus"},
        {"sim:--latency", "--latency"},
        {"sim:--truncate ten", "--truncate needs a whole number from 0 to 255, not \"ten\""},
        {"sim:stray", "unexpected argument: stray"},
        {"sim:--link /tmp/korva-sensor", "--link"},
        {"sim:--help", "--help"},
        {"sim:--eeprom " + eeprom, eeprom + ":2"},
    };
    for (const auto& [device, reason] : refused) {
        QCOMPARE(Open(device.toUtf8().constData()), COM_ERR_CANNOT_OPEN);
        QVERIFY2(LastOpenError().contains(device) && LastOpenError().contains(reason), qPrintable(LastOpenError()));
        QCOMPARE(GetInQLen(kPort), COM_ERR_NOT_OPEN);
    }

    // KORVA_COM<n> names it as any other device; the options are split on blanks.
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("700\n1\n400\n30\n0\n2\n150\n850\n180\n20\n0\n1\n1\n300\n1\n42\n");
    file.close();
    qputenv("KORVA_COM5", ("sim: --no-pacing\t--seed 9  --eeprom " + eeprom).toUtf8());
    QCOMPARE(Open(""), 0);
    QCOMPARE(LastOpenError(), QString());
    QCOMPARE(Sensor().options().seed, uint64_t{9});
    QVERIFY(!Sensor().options().pacing);
    QCOMPARE(WordsOf(Exchange(sim::ReadRam)), kSomeSet);

    // The calls only a serial port has do nothing on it, and fail on none.
    QCOMPARE(SetCTSMode(kPort, 1), 0);
    QCOMPARE(SetComTime(kPort, 1.0), 0);
    QCOMPARE(FlushOutQ(kPort), 0);
    QCOMPARE(FlushInQ(kPort), 0);
    QCOMPARE(OpenComConfig(kPort, "sim:", 19200, 0, 9, 1, 4096, 4096), COM_ERR_SYSTEM);  // no 9-bit lines
}

void TestSimLine::answersArePacedAndArriveDuringEventProcessing()
{
    Reception r;
    QCOMPARE(Open("sim:"), 0);
    const int mask = COM_EVENT_NOTIFY | COM_EVENT_CHAR | COM_EVENT_TX_EMPTY;
    QCOMPARE(InstallComCallback(kPort, mask, kFrameSize, kSync, RecordEvents, &r), 0);

    // Long after the answer is due, it has still not arrived without event processing; the
    // command's output-empty event and the answer come at the next.
    QVERIFY(Write(Frame(sim::LineCheck)));
    QThread::msleep(100);
    QCOMPARE(GetInQLen(kPort), 0);
    QVERIFY(r.events.empty());
    QVERIFY(ProcessUntil([&] { return r.events.size() == 2; }));
    ProcessFor(50);
    std::ranges::sort(r.events);
    QCOMPARE(r.events, (std::vector<int>{COM_EVENT_TX_EMPTY, COM_EVENT_NOTIFY | COM_EVENT_CHAR}));
    QCOMPARE(GetInQLen(kPort), kFrameSize);
    QCOMPARE(Read(kFrameSize), Frame(sim::LineCheck, {sim::kEchoWord}));

    // Ten measurement orders written at once are answered one after the other at the line's pace:
    // reading all the answers takes about the line time of the ten commands and of the last
    // answer, 396 bytes at ten bits a byte and 19200 bits a second (206 ms); without pacing it
    // would take none. (Nine tenths of it, for clocks that tick in coarser steps than a
    // millisecond, as under wine.)
    QCOMPARE(InstallComCallback(kPort, 0, 0, 0, nullptr, nullptr), 0);
    QCOMPARE(SetComTime(kPort, 5.0), 0);
    QVERIFY(Write(Frame(sim::Measure).repeated(10)));
    QElapsedTimer clock;
    clock.start();
    const QByteArray answers = Read(10 * kFrameSize);
    QVERIFY2(clock.elapsed() >= 396 * 10 * 1000 / 19200 * 9 / 10, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(answers.size(), 10 * kFrameSize);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(OrderOf(answers.mid(i * kFrameSize, kFrameSize)), uint16_t{sim::Measure});
    QCOMPARE(Sensor().commandsReceived(sim::Measure), uint64_t{10});

    // Idle, nothing runs: processing events costs next to nothing.
    const double cpu = test::ProcessCpuSeconds();
    ProcessFor(500);
    QVERIFY2(test::ProcessCpuSeconds() - cpu < 0.15, qPrintable(QString::number(test::ProcessCpuSeconds() - cpu)));
}

void TestSimLine::blockingReadWaitsAndDefersTheCallback()
{
    Reception r;
    QCOMPARE(Open("sim:--extra 4"), 0);
    QCOMPARE(SetComTime(kPort, 5.0), 0);
    QCOMPARE(InstallComCallback(kPort, COM_EVENT_NOTIFY, kFrameSize, kSync, RecordEvents, &r), 0);

    // The read waits for the answer's first chunk; the rest raises the notify event at the next
    // event processing, never inside the read.
    QVERIFY(Write(Frame(sim::LineCheck)));
    r.insideRead = true;
    QCOMPARE(Read(4), Frame(sim::LineCheck, {sim::kEchoWord}).left(4));
    r.insideRead = false;
    QVERIFY(ProcessUntil([&] { return !r.events.empty(); }));
    ProcessFor(50);
    QVERIFY(!r.calledInsideRead);
    QCOMPARE(r.events, std::vector<int>{COM_EVENT_NOTIFY});
    QCOMPARE(r.waiting, std::vector<int>{kFrameSize});

    // A sensor that never answers: the read waits out its time limit and returns nothing.
    QCOMPARE(Open("sim:--silent"), 0);
    QCOMPARE(SetComTime(kPort, 0.3), 0);
    QVERIFY(Write(Frame(sim::LineCheck)));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(Read(kFrameSize), QByteArray());
    QVERIFY2(clock.elapsed() >= 280, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(Sensor().commandsReceived(sim::LineCheck), uint64_t{1});
}

void TestSimLine::flushDropsWhatArrived()
{
    QCOMPARE(Open("sim:--no-pacing"), 0);

    // An answer due at once still arrives only during event processing, never inside the write.
    QVERIFY(Write(Frame(sim::LineCheck)));
    QCOMPARE(GetInQLen(kPort), 0);
    QVERIFY(ProcessUntil([] { return GetInQLen(kPort) == kFrameSize; }));

    // The flush drops what waits in the queue and what has arrived without being taken in yet.
    QVERIFY(Write(Frame(sim::LineCheck)));
    QThread::msleep(20);
    QCOMPARE(FlushInQ(kPort), 0);
    QCOMPARE(GetInQLen(kPort), 0);
    ProcessFor(50);
    QCOMPARE(GetInQLen(kPort), 0);

    // A command cut short is dropped after 100 ms without a further byte; the next is taken whole.
    QVERIFY(Write(Frame(sim::ReadRam).left(14)));
    ProcessFor(150);
    QCOMPARE(OrderOf(Exchange(sim::LineCheck)), uint16_t{sim::LineCheck});
    QCOMPARE(Sensor().commandsReceived(sim::ReadRam), uint64_t{0});
}

void TestSimLine::fullInputQueueDropsWhatArrives()
{
    // The answer does not fit a queue of 64 bytes: its start stays, the rest is dropped and counted.
    Reception r;
    QCOMPARE(Open("sim:--no-pacing --extra 100", 64), 0);
    QCOMPARE(InstallComCallback(kPort, COM_EVENT_NOTIFY, kFrameSize, kSync, RecordEvents, &r), 0);
    QVERIFY(Write(Frame(sim::LineCheck)));
    QVERIFY(ProcessUntil([] { return GetInQDropped(kPort) == kFrameSize + 100 - 64; }));
    ProcessFor(50);
    QCOMPARE(GetInQLen(kPort), 64);
    QVERIFY(std::ranges::all_of(r.waiting, [](int waiting) { return waiting <= 64; }));
    QCOMPARE(Read(64), Frame(sim::LineCheck, {sim::kEchoWord}) + QByteArray(28, char(0xA5)));
    QCOMPARE(Open("sim:--no-pacing --extra 100", 64), 0);
    QCOMPARE(GetInQDropped(kPort), 0);

    // Thirty block requests written at once: the sensor holds no more answers than a real one
    // and takes the further requests as its answers leave; a read longer than the queue takes
    // every answer as it comes and loses none.
    QCOMPARE(Open("sim:--no-pacing"), 0);
    QCOMPARE(SetComTime(kPort, 10.0), 0);
    QVERIFY(Write(Frame(sim::DataBlock).repeated(30)));
    QCOMPARE(Read(30 * kBlockSize).size(), 30 * kBlockSize);
    QCOMPARE(Sensor().commandsReceived(sim::DataBlock), uint64_t{30});
    QVERIFY(Sensor().mostBytesHeld() <= sim::SimulatedSensor::kOutboxLimit + kBlockSize + kFrameSize);
    QCOMPARE(GetInQDropped(kPort), 0);
}

void TestSimLine::callbackMayProcessEventsOrClose()
{
    QCOMPARE(Open("sim:--no-pacing"), 0);

    // The answer to the callback's own request comes while it processes events itself: it is
    // delivered once the callback has returned, never to a nested call.
    Reception nested;
    QCOMPARE(InstallComCallback(kPort, COM_EVENT_NOTIFY, kFrameSize, kSync, ReceiveWhileProcessing, &nested), 0);
    QVERIFY(Write(Frame(sim::LineCheck)));
    QVERIFY(ProcessUntil([&] { return nested.frames.size() == 2; }));
    ProcessFor(50);
    QCOMPARE(nested.events, (std::vector<int>{COM_EVENT_NOTIFY, COM_EVENT_NOTIFY}));
    QCOMPARE(nested.maxDepth, 1);
    QCOMPARE(OrderOf(nested.frames[0]), uint16_t{sim::LineCheck});
    QCOMPARE(OrderOf(nested.frames[1]), uint16_t{sim::Measure});

    // A callback that closes its port: the port is closed and hears nothing more.
    Reception closing;
    QCOMPARE(InstallComCallback(kPort, COM_EVENT_NOTIFY, kFrameSize, kSync, CloseOnEvent, &closing), 0);
    QVERIFY(Write(Frame(sim::WriteRam, kSomeSet)));
    QVERIFY(Write(Frame(sim::LineCheck)));
    QVERIFY(ProcessUntil([&] { return !closing.events.empty(); }));
    QCOMPARE(GetInQLen(kPort), COM_ERR_NOT_OPEN);
    ProcessFor(50);
    QCOMPARE(closing.events.size(), size_t{1});

    // Opened again, the port reaches the same sensor, which kept its parameters; other options
    // start another sensor.
    QCOMPARE(Open("sim:--no-pacing"), 0);
    QCOMPARE(WordsOf(Exchange(sim::ReadRam)), kSomeSet);
    QCOMPARE(Open("sim:--no-pacing --seed 2"), 0);
    QCOMPARE(WordsOf(Exchange(sim::ReadRam)), sim::kStartParameters);
}

// The inspection's tap sees each write with the bytes accepted and each read with the bytes read,
// a read that fails with none, and nothing once removed.
void TestSimLine::tapSeesWhatReadsAndWritesPass()
{
    QCOMPARE(Open("sim:--no-pacing"), 0);
    SetComTap(RecordTap);
    const QByteArray answer = Exchange(sim::LineCheck);
    CloseCom(kPort);
    Read(kFrameSize);
    SetComTap(nullptr);
    Read(kFrameSize);
    const std::vector<Tapped> expected = {
        {kPort, true, Frame(sim::LineCheck)}, {kPort, false, answer}, {kPort, false, {}}};
    QCOMPARE(answer, Frame(sim::LineCheck, {sim::kEchoWord}));
    QVERIFY(std::exchange(g_tapped, {}) == expected);
}

}  // namespace korva

QTEST_MAIN(korva::TestSimLine)
#include "test_simline.moc"
