// The serial-port library through real pseudo-terminals: the port opens the slave side (named by
// KORVA_COM3), the test plays the sensor on the master side.
#include "inspect.h"
#include "support/Events.h"
#include "support/Pty.h"
#include "support/Reception.h"
#include "rs232.h"
#include "userint.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korva {

using test::ProcessFor;
using test::ProcessUntil;
using test::Pty;
using test::Reception;
using test::ReceptionOf;
using test::RecordEvents;
using test::CloseOnEvent;

namespace {

constexpr int kPort = 3;
constexpr int kOtherPort = 4;
constexpr int kFrameSize = 36;
constexpr int kQueueSize = 4096;
constexpr char kSync = 0x55;

int OpenSensorPort(int port = kPort)
{
    return OpenComConfig(port, "", 19200, 0, 8, 1, kQueueSize, 4096);
}

QString LastOpenError()
{
    return QString::fromStdString(ComLastOpenError());
}

// n bytes of a running pattern that never contains the sync byte.
QByteArray Filler(int n, int offset = 0)
{
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(0x01 + (offset + i) % 0x50);
    return bytes;
}

// An answer frame as the sensor sends it: sync word 0x0055, then 34 more bytes.
QByteArray Frame(int seed)
{
    return QByteArray("\x00\x55", 2) + Filler(kFrameSize - 2, seed);
}

// Everything the sensor receives until it holds n bytes (or the limit passes).
QByteArray SensorReceives(Pty& sensor, int n)
{
    QByteArray received;
    ProcessUntil([&] {
        const test::Bytes got = sensor.Receive();
        received.append(reinterpret_cast<const char*>(got.data()), static_cast<qsizetype>(got.size()));
        return received.size() >= n;
    });
    return received;
}

double Seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Share of one core this process uses while it processes events for ms milliseconds.
double CpuShareWhileProcessing(int ms)
{
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    QElapsedTimer wall;
    wall.start();
    ProcessFor(ms);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    const double used = Seconds(after.ru_utime) + Seconds(after.ru_stime) - Seconds(before.ru_utime) -
                        Seconds(before.ru_stime);
    return used / (static_cast<double>(wall.nsecsElapsed()) * 1e-9);
}

// A reception whose callback also has the sensor answer.
struct PtyReception : test::Reception {
    Pty* sensor = nullptr;
};

// Works like the program's receive handler: on a notify event it reads one frame and discards
// whatever followed it.
void ReceiveFrame(int port, int events, void* data)
{
    RecordEvents(port, events, data);
    if ((events & COM_EVENT_NOTIFY) == 0)
        return;
    QByteArray frame(kFrameSize, '\0');
    frame.truncate(std::max(ComRd(port, frame.data(), kFrameSize), 0));
    ReceptionOf(data).frames.append(frame);
    FlushInQ(port);
}

// Receives the first frame, then writes a request and lets the sensor send the next frame while
// it processes events itself, the way a callback with a nested wait would.
void ReceiveWhileProcessing(int port, int events, void* data)
{
    auto& r = static_cast<PtyReception&>(ReceptionOf(data));
    r.maxDepth = std::max(r.maxDepth, ++r.depth);
    ReceiveFrame(port, events, data);
    if (r.frames.size() == 1) {
        const QByteArray request = Frame(8);
        ComWrt(port, request.constData(), request.size());
        r.sensor->Send(Frame(2));
        ProcessFor(150);
    }
    --r.depth;
}

}  // namespace

class TestRs232 : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void portNumbersNameDevices();
    void openFailuresAreReported();
    void writtenBytesReachTheDevice();
    void frameAndCharacterEvents();
    void outputEmptyEventAndMask();
    void withoutCallbackBytesWaitInTheQueue();
    void fullInputQueueDropsWhatArrives();
    void readWaitsUpToTheTimeLimit();
    void callbackMayProcessEventsOrClose();
    void blockingReadDefersTheCallback();
    void hangUpClosesThePort();

private:
    std::unique_ptr<Pty> sensor_;
};

void TestRs232::init()
{
    sensor_ = std::make_unique<Pty>();
    QVERIFY(sensor_->IsOpen());
    qputenv("KORVA_COM3", sensor_->DevicePath().c_str());
}

void TestRs232::cleanup()
{
    CloseCom(kPort);
    CloseCom(kOtherPort);
    for (const char* name : {"KORVA_COM1", "KORVA_COM3", "KORVA_COM4", "KORVA_COM13"})
        qunsetenv(name);
    sensor_.reset();
}

void TestRs232::portNumbersNameDevices()
{
    const auto device = [](int port) { return QString::fromStdString(ComDeviceName(port)); };
    qunsetenv("KORVA_COM1");
    QCOMPARE(device(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(device(4), QStringLiteral("/dev/ttyS3"));
    QCOMPARE(device(5), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(device(8), QStringLiteral("/dev/ttyUSB3"));
    QCOMPARE(device(9), QStringLiteral("/dev/ttyACM0"));
    QCOMPARE(device(12), QStringLiteral("/dev/ttyACM3"));
    QCOMPARE(device(0), QString());
    QCOMPARE(device(-1), QString());
    QCOMPARE(device(13), QString());

    // A variable names the device of any port number, also beyond the default ones.
    QCOMPARE(device(kPort), QString::fromStdString(sensor_->DevicePath()));
    qputenv("KORVA_COM13", "/dev/ttyUSB7");
    QCOMPARE(device(13), QStringLiteral("/dev/ttyUSB7"));
    qputenv("KORVA_COM1", "/dev/ttyACM2");
    QCOMPARE(device(1), QStringLiteral("/dev/ttyACM2"));
}

void TestRs232::openFailuresAreReported()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto useDevice = [](const QString& path) { qputenv("KORVA_COM4", path.toLocal8Bit()); };

    QCOMPARE(OpenSensorPort(0), COM_ERR_PORT_NUMBER);
    QCOMPARE(OpenSensorPort(13), COM_ERR_PORT_NUMBER);
    QVERIFY(LastOpenError().contains(QLatin1String("13")));

    const QString missing = dir.filePath(QStringLiteral("ttyMissing"));
    useDevice(missing);
    QCOMPARE(OpenSensorPort(kOtherPort), COM_ERR_NO_PORT);
    QVERIFY2(LastOpenError().contains(missing), qPrintable(LastOpenError()));

    // No device has a name longer than the system resolves; the reason stays short.
    useDevice(dir.filePath(QString(5000, QLatin1Char('a'))));
    QCOMPARE(OpenSensorPort(kOtherPort), COM_ERR_NO_PORT);
    QVERIFY2(LastOpenError().contains(QLatin1String("too long")) && LastOpenError().size() < 100,
             qPrintable(LastOpenError().left(100)));

    // A file that exists but is no terminal cannot be opened as a port.
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    useDevice(plain.fileName());
    QCOMPARE(OpenSensorPort(kOtherPort), COM_ERR_CANNOT_OPEN);
    QVERIFY2(LastOpenError().contains(QLatin1String("Not a serial port")), qPrintable(LastOpenError()));

    // A directory fails for a reason of its own.
    useDevice(dir.path());
    QCOMPARE(OpenSensorPort(kOtherPort), COM_ERR_SYSTEM);
    QVERIFY(!LastOpenError().isEmpty());

    QCOMPARE(OpenComConfig(kPort, "", 19200, 7, 8, 1, 4096, 4096), COM_ERR_SYSTEM);
    QCOMPARE(OpenComConfig(kPort, "", 19200, 0, 9, 1, 4096, 4096), COM_ERR_SYSTEM);

    // A device another program has open is refused, also when it is reached through a link.
    {
        QSerialPort otherProgram;
        otherProgram.setPortName(QString::fromStdString(sensor_->DevicePath()));
        QVERIFY(otherProgram.open(QIODevice::ReadWrite));
        QCOMPARE(OpenSensorPort(), COM_ERR_CANNOT_OPEN);
        QVERIFY2(LastOpenError().contains(QLatin1String("In use")), qPrintable(LastOpenError()));
        const QString link = dir.filePath(QStringLiteral("ttySensor"));
        QVERIFY(QFile::link(QString::fromStdString(sensor_->DevicePath()), link));
        useDevice(link);
        QCOMPARE(OpenSensorPort(kOtherPort), COM_ERR_CANNOT_OPEN);
    }

    // Without root's override, a device the user may not open names the group that may.
    if (::geteuid() != 0) {
        QVERIFY(plain.setPermissions(QFileDevice::Permissions()));
        useDevice(plain.fileName());
        QCOMPARE(OpenSensorPort(kOtherPort), COM_ERR_CANNOT_OPEN);
        QVERIFY2(LastOpenError().startsWith(QLatin1String("Permission denied: ")), qPrintable(LastOpenError()));
        QVERIFY2(LastOpenError().contains(QLatin1String(" group")), qPrintable(LastOpenError()));
    }

    // Nothing failed opens a port; operations on it say so.
    char byte = 0;
    QCOMPARE(GetInQLen(kOtherPort), COM_ERR_NOT_OPEN);
    QCOMPARE(ComWrt(kOtherPort, &byte, 1), COM_ERR_NOT_OPEN);
    QCOMPARE(ComRd(kOtherPort, &byte, 1), COM_ERR_NOT_OPEN);
    QCOMPARE(SetComTime(kOtherPort, 1.0), COM_ERR_NOT_OPEN);
    QCOMPARE(FlushInQ(kOtherPort), COM_ERR_NOT_OPEN);
    QCOMPARE(InstallComCallback(kOtherPort, 0, 0, 0, nullptr, nullptr), COM_ERR_NOT_OPEN);
    QCOMPARE(GetInQLen(0), COM_ERR_PORT_NUMBER);
    QCOMPARE(CloseCom(kOtherPort), 0);
    QCOMPARE(CloseCom(0), COM_ERR_PORT_NUMBER);

    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(LastOpenError(), QString());
}

void TestRs232::writtenBytesReachTheDevice()
{
    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(SetComTime(kPort, 2.0), 0);
    QCOMPARE(FlushInQ(kPort), 0);
    QCOMPARE(FlushOutQ(kPort), 0);
    QCOMPARE(SetCTSMode(kPort, 0), 0);

    // Bytes the sensor sent earlier are dropped by the input flush.
    QVERIFY(sensor_->Send(Filler(10)));
    QVERIFY(ProcessUntil([] { return GetInQLen(kPort) == 10; }));
    QCOMPARE(FlushInQ(kPort), 0);
    QCOMPARE(GetInQLen(kPort), 0);

    // A frame written and an input flush before the events run: the whole frame goes out.
    const QByteArray request = Frame(7);
    QCOMPARE(ComWrt(kPort, request.constData(), request.size()), kFrameSize);
    QCOMPARE(FlushInQ(kPort), 0);
    QCOMPARE(SensorReceives(*sensor_, kFrameSize), request);

    // A written frame is on its way at once: an output flush right after it never cuts it.
    QCOMPARE(ComWrt(kPort, request.constData(), request.size()), kFrameSize);
    QCOMPARE(FlushOutQ(kPort), 0);
    QCOMPARE(SensorReceives(*sensor_, kFrameSize), request);

    // Opening the open port closes it first and opens it again.
    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(ComWrt(kPort, request.constData(), request.size()), kFrameSize);
    QCOMPARE(SensorReceives(*sensor_, kFrameSize), request);

    // An open that fails leaves the port closed.
    qputenv("KORVA_COM3", "/dev/ttyKorvaMissing");
    QCOMPARE(OpenSensorPort(), COM_ERR_NO_PORT);
    QCOMPARE(GetInQLen(kPort), COM_ERR_NOT_OPEN);
}

void TestRs232::frameAndCharacterEvents()
{
    Reception r;
    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(InstallComCallback(kPort, 0x8006, kFrameSize, kSync, ReceiveFrame, &r), 0);

    // One byte short of a frame: no call, the bytes wait.
    QVERIFY(sensor_->Send(Filler(35)));
    QVERIFY(ProcessUntil([] { return GetInQLen(kPort) == 35; }));
    ProcessFor(50);
    QVERIFY(r.events.empty());

    // The 36th byte: one notify call, which reads the frame.
    QVERIFY(sensor_->Send(Filler(1, 35)));
    QVERIFY(ProcessUntil([&] { return !r.events.empty(); }));
    ProcessFor(50);
    QCOMPARE(r.events, std::vector<int>{COM_EVENT_NOTIFY});
    QCOMPARE(r.frames, QList<QByteArray>{Filler(kFrameSize)});
    QCOMPARE(GetInQLen(kPort), 0);

    // 40 bytes at once: one call with all 40 waiting; the frame is read, the flush drops the rest.
    r = {};
    QVERIFY(sensor_->Send(Filler(40, 3)));
    QVERIFY(ProcessUntil([&] { return !r.events.empty(); }));
    ProcessFor(50);
    QCOMPARE(r.events, std::vector<int>{COM_EVENT_NOTIFY});
    QCOMPARE(r.waiting, std::vector<int>{40});
    QCOMPARE(r.frames, QList<QByteArray>{Filler(kFrameSize, 3)});
    QCOMPARE(GetInQLen(kPort), 0);

    // A lone sync byte: the event-character event alone; the handler leaves it waiting.
    r = {};
    QVERIFY(sensor_->Send(QByteArray(1, kSync)));
    QVERIFY(ProcessUntil([&] { return !r.events.empty(); }));
    ProcessFor(50);
    QCOMPARE(r.events, std::vector<int>{COM_EVENT_CHAR});
    QVERIFY(r.frames.isEmpty());
    QCOMPARE(GetInQLen(kPort), 1);

    // Only new bytes are searched for the event character: more bytes behind the waiting sync
    // byte raise nothing.
    r = {};
    QVERIFY(sensor_->Send(Filler(2)));
    QVERIFY(ProcessUntil([] { return GetInQLen(kPort) == 3; }));
    ProcessFor(50);
    QVERIFY(r.events.empty());
    QCOMPARE(FlushInQ(kPort), 0);

    // A whole answer frame carries the sync byte: both events in one call.
    r = {};
    QVERIFY(sensor_->Send(Frame(5)));
    QVERIFY(ProcessUntil([&] { return !r.events.empty(); }));
    ProcessFor(50);
    QCOMPARE(r.events, std::vector<int>{COM_EVENT_NOTIFY | COM_EVENT_CHAR});
    QCOMPARE(r.frames, QList<QByteArray>{Frame(5)});
}

void TestRs232::outputEmptyEventAndMask()
{
    Reception r;
    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(InstallComCallback(kPort, 0x8006, kFrameSize, kSync, RecordEvents, &r), 0);
    const QByteArray request = Frame(1);  // holds the sync byte, which must not count as received
    QCOMPARE(ComWrt(kPort, request.constData(), request.size()), kFrameSize);
    QVERIFY(r.events.empty());  // nothing is delivered outside event processing
    QVERIFY(ProcessUntil([&] { return !r.events.empty(); }));
    ProcessFor(50);
    QCOMPARE(r.events, std::vector<int>{COM_EVENT_TX_EMPTY});
    QCOMPARE(SensorReceives(*sensor_, kFrameSize), request);

    // Events outside the mask are not reported.
    r = {};
    QCOMPARE(InstallComCallback(kPort, COM_EVENT_NOTIFY, kFrameSize, kSync, RecordEvents, &r), 0);
    QCOMPARE(ComWrt(kPort, request.constData(), request.size()), kFrameSize);
    QCOMPARE(SensorReceives(*sensor_, kFrameSize), request);
    QVERIFY(sensor_->Send(QByteArray(1, kSync)));
    QVERIFY(ProcessUntil([] { return GetInQLen(kPort) == 1; }));
    ProcessFor(50);
    QVERIFY(r.events.empty());
}

void TestRs232::withoutCallbackBytesWaitInTheQueue()
{
    Reception r;
    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(InstallComCallback(kPort, 0x8006, kFrameSize, kSync, RecordEvents, &r), 0);
    QCOMPARE(InstallComCallback(kPort, 0, kFrameSize, kSync, nullptr, nullptr), 0);

    QVERIFY(sensor_->Send(Frame(4)));
    QVERIFY(ProcessUntil([] { return GetInQLen(kPort) == kFrameSize; }));
    QVERIFY(sensor_->Send(Filler(4)));
    QVERIFY(ProcessUntil([] { return GetInQLen(kPort) == 40; }));
    ProcessFor(50);
    QVERIFY(r.events.empty());

    QByteArray frame(kFrameSize, '\0');
    QCOMPARE(ComRd(kPort, frame.data(), kFrameSize), kFrameSize);
    QCOMPARE(frame, Frame(4));
    QCOMPARE(GetInQLen(kPort), 4);
}

// A device that keeps sending while nothing reads (a modal dialog during Data) fills the queue to
// the size it was opened with; the rest is dropped and counted, the oldest bytes stay.
void TestRs232::fullInputQueueDropsWhatArrives()
{
    Reception r;
    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(InstallComCallback(kPort, 0x8006, kFrameSize, kSync, RecordEvents, &r), 0);
    const QByteArray flood = Filler(1 << 20);
    std::thread device([&] { sensor_->Send(flood); });
    const bool dropped = ProcessUntil([&] { return GetInQDropped(kPort) == flood.size() - kQueueSize; }, 30000);
    device.join();
    QVERIFY2(dropped, qPrintable(QString::number(GetInQDropped(kPort))));
    QCOMPARE(GetInQLen(kPort), kQueueSize);
    QVERIFY(!r.events.empty());
    QCOMPARE(r.waiting.back(), kQueueSize);
    QVERIFY(std::ranges::all_of(r.waiting, [](int waiting) { return waiting <= kQueueSize; }));

    // Dropped bytes joined nothing and raise no event.
    const size_t calls = r.events.size();
    QVERIFY(sensor_->Send(Frame(1)));
    QVERIFY(ProcessUntil([&] { return GetInQDropped(kPort) == flood.size() - kQueueSize + kFrameSize; }));
    ProcessFor(50);
    QCOMPARE(r.events.size(), calls);

    QByteArray kept(kQueueSize, '\0');
    QCOMPARE(ComRd(kPort, kept.data(), kQueueSize), kQueueSize);
    QCOMPARE(kept, flood.left(kQueueSize));

    // A read longer than the queue takes the bytes as they come and loses none.
    QCOMPARE(InstallComCallback(kPort, 0, kFrameSize, kSync, nullptr, nullptr), 0);
    QCOMPARE(SetComTime(kPort, 10.0), 0);
    const QByteArray block = Filler(3 * kQueueSize, 7);
    std::thread sender([&] { sensor_->Send(block); });
    QByteArray read(block.size(), '\0');
    const int count = ComRd(kPort, read.data(), static_cast<size_t>(read.size()));
    sender.join();
    QCOMPARE(count, block.size());
    QCOMPARE(read, block);
    QCOMPARE(GetInQDropped(kPort), flood.size() - kQueueSize + kFrameSize);

    // A new open starts counting afresh.
    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(GetInQDropped(kPort), 0);
}

void TestRs232::readWaitsUpToTheTimeLimit()
{
    QCOMPARE(OpenSensorPort(), 0);
    QByteArray buffer(kFrameSize, '\0');

    // Missing bytes are awaited up to the limit; then the read returns what it has.
    QCOMPARE(SetComTime(kPort, 0.3), 0);
    QVERIFY(sensor_->Send(Filler(20)));
    QVERIFY(ProcessUntil([] { return GetInQLen(kPort) == 20; }));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ComRd(kPort, buffer.data(), kFrameSize), 20);
    QVERIFY2(timer.elapsed() >= 280, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(buffer.left(20), Filler(20));
    QCOMPARE(GetInQLen(kPort), 0);

    // Bytes that arrive during the wait complete the read.
    QCOMPARE(SetComTime(kPort, 5.0), 0);
    std::thread lateSensor([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sensor_->Send(Filler(16, 20));
    });
    const int count = ComRd(kPort, buffer.data(), 16);
    lateSensor.join();
    QCOMPARE(count, 16);
    QCOMPARE(buffer.left(16), Filler(16, 20));

    // Bytes already waiting are returned without waiting for the limit.
    QVERIFY(sensor_->Send(Frame(9)));
    QVERIFY(ProcessUntil([] { return GetInQLen(kPort) == kFrameSize; }));
    timer.restart();
    QCOMPARE(ComRd(kPort, buffer.data(), kFrameSize), kFrameSize);
    QVERIFY(timer.elapsed() < 2500);
    QCOMPARE(buffer, Frame(9));
}

void TestRs232::callbackMayProcessEventsOrClose()
{
    QCOMPARE(OpenSensorPort(), 0);

    // The callback's own request drains and the next frame arrives while the callback processes
    // events itself: both are delivered in one call once it has returned, never to a nested call.
    PtyReception nested;
    nested.sensor = sensor_.get();
    const int mask = COM_EVENT_NOTIFY | COM_EVENT_TX_EMPTY;
    QCOMPARE(InstallComCallback(kPort, mask, kFrameSize, kSync, ReceiveWhileProcessing, &nested), 0);
    QVERIFY(sensor_->Send(Frame(1)));
    QVERIFY(ProcessUntil([&] { return nested.frames.size() == 2; }));
    ProcessFor(50);
    QCOMPARE(nested.frames, (QList<QByteArray>{Frame(1), Frame(2)}));
    QCOMPARE(nested.events, (std::vector<int>{COM_EVENT_NOTIFY, mask}));
    QCOMPARE(nested.maxDepth, 1);
    QCOMPARE(SensorReceives(*sensor_, kFrameSize), Frame(8));

    // A callback that closes its port: the port is closed and hears nothing more.
    Reception closing;
    QCOMPARE(InstallComCallback(kPort, 0x8006, kFrameSize, kSync, CloseOnEvent, &closing), 0);
    QVERIFY(sensor_->Send(Frame(3)));
    QVERIFY(ProcessUntil([&] { return !closing.events.empty(); }));
    QCOMPARE(GetInQLen(kPort), COM_ERR_NOT_OPEN);
    sensor_->Send(Frame(4));
    ProcessFor(50);
    QCOMPARE(closing.events.size(), size_t{1});

    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(GetInQLen(kPort), 0);
}

void TestRs232::blockingReadDefersTheCallback()
{
    Reception r;
    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(SetComTime(kPort, 5.0), 0);
    QCOMPARE(InstallComCallback(kPort, COM_EVENT_NOTIFY, kFrameSize, kSync, RecordEvents, &r), 0);

    std::thread lateSensor([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sensor_->Send(Filler(40));
    });
    char head[4];
    r.insideRead = true;
    const int count = ComRd(kPort, head, sizeof head);
    r.insideRead = false;
    lateSensor.join();
    QCOMPARE(count, 4);

    // The 36 bytes left raise the notify event at the next event processing.
    QVERIFY(ProcessUntil([&] { return !r.events.empty(); }));
    ProcessFor(50);
    QVERIFY(!r.calledInsideRead);
    QCOMPARE(r.events, std::vector<int>{COM_EVENT_NOTIFY});
    QCOMPARE(r.waiting, std::vector<int>{kFrameSize});
}

void TestRs232::hangUpClosesThePort()
{
    Reception r;
    QCOMPARE(OpenSensorPort(), 0);
    QCOMPARE(InstallComCallback(kPort, 0x8006, kFrameSize, kSync, RecordEvents, &r), 0);

    sensor_->Close();
    QVERIFY(ProcessUntil([] { return GetInQLen(kPort) == COM_ERR_NOT_OPEN; }));
    char byte = 1;
    QCOMPARE(ComWrt(kPort, &byte, 1), COM_ERR_NOT_OPEN);
    QCOMPARE(ComRd(kPort, &byte, 1), COM_ERR_NOT_OPEN);
    QVERIFY(r.events.empty());
    const double cpu = CpuShareWhileProcessing(500);
    QVERIFY2(cpu < 0.3, qPrintable(QStringLiteral("CPU share %1").arg(cpu)));

    // The device comes back: the same number opens again.
    sensor_ = std::make_unique<Pty>();
    qputenv("KORVA_COM3", sensor_->DevicePath().c_str());
    QCOMPARE(OpenSensorPort(), 0);
    const QByteArray request = Frame(6);
    QCOMPARE(ComWrt(kPort, request.constData(), request.size()), kFrameSize);
    QCOMPARE(SensorReceives(*sensor_, kFrameSize), request);

    // The device goes while a read waits for it: the read ends with the port closed.
    QCOMPARE(SetComTime(kPort, 5.0), 0);
    std::thread pullCable([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sensor_->Close();
    });
    const int count = ComRd(kPort, &byte, 1);
    pullCable.join();
    QCOMPARE(count, COM_ERR_NOT_OPEN);
    QCOMPARE(GetInQLen(kPort), COM_ERR_NOT_OPEN);
}

}  // namespace korva

QTEST_MAIN(korva::TestRs232)
#include "test_rs232.moc"
