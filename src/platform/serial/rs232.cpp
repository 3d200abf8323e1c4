// Serial-port library of the program, built on Qt Serial Port.
//
// A port talks to a QIODevice: a QSerialPort for a real device, or the simulated line (SimLine)
// for the device "sim:", whose other end is the simulated sensor inside the program. The few calls
// only a serial port has (line settings, handshake, its driver's buffers) go to the QSerialPort
// alone; everything else is the same code for both.
//
// Every port number owns its QSerialPort, and its SimLine once it has used one, for the whole run.
// Closing a port closes that object but keeps it, so a receive callback may close (or reopen) its
// own port while the device is still inside the signal that led to the callback.
//
// Received bytes move from the device into the port's own input queue, which holds at most the
// size the port was opened with: what arrives while it is full is dropped and counted, the way a
// serial driver's full receive buffer overruns, so a device that keeps sending while nothing reads
// costs no memory beyond the queue.
//
// Receive events are gathered from the port's signals (readyRead, bytesWritten) and handed to the
// callback on the user-interface thread while events are processed. A blocking ComRd only notes
// what happened during its wait; those events are delivered at the next event processing, so a
// callback never runs inside ComRd.
#include "rs232.h"

#include "inspect.h"
#include "simline.h"
#include "simsensor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace korva {

namespace {

// Time limit of ComRd until SetComTime gives one, in milliseconds.
constexpr int kDefaultTimeLimitMs = 2000;

// Input queue of an open that names no size.
constexpr int kDefaultInputQueueSize = 4096;

std::string s_lastOpenError;
ComTap s_tap = nullptr;  // what the inspection sees of every read and write

// Hands the bytes a read or write passed (none for a failure) to the tap, when one is installed.
void Tap(int port, bool written, const char* bytes, int result)
{
    if (s_tap != nullptr)
        s_tap(port, written, bytes, std::max(result, 0));
}

// Outcome of an open: 0 or a negative error code, and the reason in words when it failed.
struct OpenOutcome {
    int code = 0;
    std::string reason;
};

struct LineSettings {
    qint32 baud;
    QSerialPort::Parity parity;
    QSerialPort::DataBits dataBits;
    QSerialPort::StopBits stopBits;
};

// The open's arguments as line settings (parity 0 none, 1 odd, 2 even, 3 mark, 4 space); nothing
// for values a serial line does not have.
std::optional<LineSettings> ToLineSettings(long baud, int parity, int dataBits, int stopBits)
{
    static constexpr QSerialPort::Parity kParities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                        QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                        QSerialPort::SpaceParity};
    if (baud <= 0 || baud > std::numeric_limits<qint32>::max() || parity < 0 || parity > 4 || dataBits < 5 ||
        dataBits > 8 || (stopBits != 1 && stopBits != 2))
        return std::nullopt;
    return LineSettings{static_cast<qint32>(baud), kParities[parity], static_cast<QSerialPort::DataBits>(dataBits),
                        stopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop};
}

// The device to open: a symbolic link is followed, so that the lock taken on the device is the
// one every other program takes under the device's own name.
QString SystemDevice(const std::string& device)
{
    const QString name = QString::fromStdString(device);
    const QString canonical = QFileInfo(name).canonicalFilePath();
    return canonical.isEmpty() ? name : canonical;
}

// True when the user lacks read or write permission on the device, as opposed to it being busy.
bool LacksAccess(const QString& device)
{
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES;
#else
    Q_UNUSED(device);
    return false;  // Windows reports a port held by another program as access denied
#endif
}

// True when the name is longer than the system resolves (PATH_MAX, or NAME_MAX for one part), so
// no device can have it.
bool NameTooLong(const QString& device)
{
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(device).constData(), F_OK) != 0 && errno == ENAMETOOLONG;
#else
    Q_UNUSED(device);
    return false;  // the open itself fails on Windows, which takes no lock file under the name first
#endif
}

std::string PermissionDenied(const QString& device)
{
    const QString group = QFileInfo(device).group();
    const QString remedy = group.isEmpty() || group == QLatin1String("root")
                               ? QStringLiteral("the user needs read and write access to it")
                               : QStringLiteral("the user must be in the %1 group").arg(group);
    return QStringLiteral("Permission denied: %1 \u2014 %2").arg(device, remedy).toStdString();
}

OpenOutcome Failure(int code, const QString& reason, const QString& device)
{
    return {code, (reason + QStringLiteral(": ") + device).toStdString()};
}

// Error code and reason of a failed QSerialPort::open.
OpenOutcome DescribeOpenFailure(const QSerialPort& serial, const QString& device)
{
    switch (serial.error()) {
    case QSerialPort::DeviceNotFoundError:
        return Failure(COM_ERR_NO_PORT, QStringLiteral("No such device"), device);
    case QSerialPort::PermissionError:  // no access, or locked or opened exclusively elsewhere
        if (LacksAccess(device))
            return {COM_ERR_CANNOT_OPEN, PermissionDenied(device)};
        return Failure(COM_ERR_CANNOT_OPEN, QStringLiteral("In use by another program"), device);
    case QSerialPort::ResourceError:  // busy or not ready
        return Failure(COM_ERR_CANNOT_OPEN, serial.errorString(), device);
    case QSerialPort::UnsupportedOperationError:  // opens, but takes no terminal settings
        return Failure(COM_ERR_CANNOT_OPEN, QStringLiteral("Not a serial port"), device);
    default:
        return Failure(COM_ERR_SYSTEM, serial.errorString(), device);
    }
}

// The receive callback as InstallComCallback gave it.
struct Listener {
    int mask = 0;
    int notifyCount = 0;
    char eventCharacter = 0;
    ComCallback callback = nullptr;
    void* data = nullptr;
};

// One port number: its device, time limit and receive callback.
class ComPort {
public:
    explicit ComPort(int number) : number_(number) {}
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    bool IsOpen() const { return device_ != nullptr && device_->isOpen(); }
    OpenOutcome Open(const QString& device, long baud, int parity, int dataBits, int stopBits, int inputQueueSize);
    void Close();
    void SetTimeLimit(double seconds) { timeLimitMs_ = static_cast<int>(std::lround(std::max(seconds, 0.0) * 1000)); }
    bool SetHandshake(bool on);
    void Listen(const Listener& listener);
    int Read(char* buffer, size_t count);
    int Write(const char* buffer, size_t count);
    int QueueLength();
    long long Dropped() const { return dropped_; }
    const sim::SimulatedSensor* SimulatedSensor() const;
    void FlushInput();
    void FlushOutput();

private:
    // Holds the callback back while a blocking read runs; what occurred meanwhile is delivered at
    // the next event processing.
    class HoldEvents {
    public:
        explicit HoldEvents(ComPort& port) : port_(port) { ++port_.holds_; }
        ~HoldEvents();
        HoldEvents(const HoldEvents&) = delete;
        HoldEvents& operator=(const HoldEvents&) = delete;

    private:
        ComPort& port_;
    };

    QSerialPort& Serial();
    SimLine& Simulated();
    // The open device as a serial port; null for the simulated line.
    QSerialPort* SerialLine() const { return qobject_cast<QSerialPort*>(device_.data()); }
    OpenOutcome OpenSerial(const QString& device, const LineSettings& settings);
    OpenOutcome OpenSimulated(const QString& device);
    void OnReadyRead();
    void OnBytesWritten();
    void OnError(QSerialPort::SerialPortError error);
    void NoteArrivals();
    qsizetype TakeInput(char* buffer, qsizetype count);
    int TakeDueEvents();
    void Deliver();
    void DeliverLater();

    const int number_;
    QPointer<QIODevice> device_;  // the device of the last open: serial_ or simLine_
    QPointer<QSerialPort> serial_;
    QPointer<SimLine> simLine_;
    int timeLimitMs_ = kDefaultTimeLimitMs;
    Listener listener_;
    QByteArray input_;              // the input queue, oldest byte first
    qsizetype inputQueueSize_ = 0;  // the most it holds
    long long dropped_ = 0;         // bytes that arrived while it was full, since the open
    int pending_ = 0;               // events that occurred and have not been delivered yet
    bool inCallback_ = false;       // the callback is running (and may process events nested)
    int holds_ = 0;                 // blocking reads in progress
    bool closing_ = false;
};

ComPort::HoldEvents::~HoldEvents()
{
    if (--port_.holds_ == 0)
        port_.DeliverLater();
}

QSerialPort& ComPort::Serial()
{
    if (serial_ == nullptr) {
        serial_ = new QSerialPort(QCoreApplication::instance());
        QObject::connect(serial_, &QSerialPort::readyRead, serial_, [this] { OnReadyRead(); });
        QObject::connect(serial_, &QSerialPort::bytesWritten, serial_, [this] { OnBytesWritten(); });
        QObject::connect(serial_, &QSerialPort::errorOccurred, serial_,
                         [this](QSerialPort::SerialPortError error) { OnError(error); });
    }
    return *serial_;
}

SimLine& ComPort::Simulated()
{
    if (simLine_ == nullptr) {
        simLine_ = new SimLine(QCoreApplication::instance());
        QObject::connect(simLine_, &QIODevice::readyRead, simLine_, [this] { OnReadyRead(); });
        QObject::connect(simLine_, &QIODevice::bytesWritten, simLine_, [this] { OnBytesWritten(); });
    }
    return *simLine_;
}

OpenOutcome ComPort::Open(const QString& device, long baud, int parity, int dataBits, int stopBits,
                          int inputQueueSize)
{
    Close();
    const std::optional<LineSettings> settings = ToLineSettings(baud, parity, dataBits, stopBits);
    if (!settings)
        return Failure(COM_ERR_SYSTEM, QStringLiteral("Unsupported line settings"), device);
    inputQueueSize_ = inputQueueSize > 0 ? inputQueueSize : kDefaultInputQueueSize;
    const OpenOutcome outcome = SimLine::IsSimDevice(device) ? OpenSimulated(device) : OpenSerial(device, *settings);
    if (outcome.code != 0)
        return outcome;
    timeLimitMs_ = kDefaultTimeLimitMs;
    input_.reserve(inputQueueSize_);
    dropped_ = 0;
    return {};
}

OpenOutcome ComPort::OpenSerial(const QString& device, const LineSettings& settings)
{
    if (NameTooLong(device))
        return {COM_ERR_NO_PORT, QStringLiteral("Device name too long (%1 characters)").arg(device.size()).toStdString()};
    QSerialPort& serial = Serial();
    serial.setPortName(device);
    serial.setBaudRate(settings.baud);
    serial.setParity(settings.parity);
    serial.setDataBits(settings.dataBits);
    serial.setStopBits(settings.stopBits);
    serial.setFlowControl(QSerialPort::NoFlowControl);
    // Bounds what Qt reads ahead while a callback processes events inside readyRead, when the
    // bytes cannot be moved into the queue yet.
    serial.setReadBufferSize(inputQueueSize_);
    if (!serial.open(QIODevice::ReadWrite))
        return DescribeOpenFailure(serial, device);
    device_ = &serial;
    return {};
}

// The simulated line takes any line settings: its sensor is paced like a 19200-baud 8N1 line.
OpenOutcome ComPort::OpenSimulated(const QString& device)
{
    SimLine& line = Simulated();
    if (!line.OpenDevice(device, inputQueueSize_))
        return {COM_ERR_CANNOT_OPEN,
                QStringLiteral("Cannot start the simulated sensor (%1): %2").arg(device, line.errorString()).toStdString()};
    device_ = &line;
    return {};
}

const sim::SimulatedSensor* ComPort::SimulatedSensor() const
{
    return simLine_ != nullptr && device_ == simLine_ ? simLine_->Sensor() : nullptr;
}

void ComPort::Close()
{
    // Closing can itself report errors on a device that has gone; they must not close again.
    if (closing_ || !IsOpen())
        return;
    closing_ = true;
    device_->close();
    closing_ = false;
    listener_ = {};
    input_.clear();
    pending_ = 0;
}

// The simulated line has no handshake lines: nothing holds its bytes back.
bool ComPort::SetHandshake(bool on)
{
    QSerialPort* serial = SerialLine();
    return serial == nullptr || serial->setFlowControl(on ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
}

void ComPort::Listen(const Listener& listener)
{
    NoteArrivals();
    listener_ = listener;
    pending_ = 0;
}

// Takes the bytes from the queue as they come, so a read longer than the queue completes too.
int ComPort::Read(char* buffer, size_t count)
{
    const HoldEvents hold(*this);
    const auto wanted = static_cast<qsizetype>(count);
    qsizetype got = 0;
    const QDeadlineTimer deadline(timeLimitMs_);
    while (IsOpen()) {
        NoteArrivals();
        got += TakeInput(buffer + got, wanted - got);
        if (got == wanted || deadline.hasExpired() ||
            !device_->waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
    }
    if (!IsOpen())
        return COM_ERR_NOT_OPEN;
    return static_cast<int>(got);
}

qsizetype ComPort::TakeInput(char* buffer, qsizetype count)
{
    const qsizetype taken = std::min(count, input_.size());
    std::copy_n(input_.constData(), taken, buffer);
    input_.remove(0, taken);
    return taken;
}

// Bytes Qt holds but has not signalled yet (inside a callback) belong to the queue already.
int ComPort::QueueLength()
{
    NoteArrivals();
    return static_cast<int>(input_.size());
}

int ComPort::Write(const char* buffer, size_t count)
{
    const qint64 accepted = device_->write(buffer, static_cast<qint64>(count));
    // Hand the bytes to the driver now rather than at the next event processing, so a request
    // goes out at once. The simulated line passes them on within write.
    if (QSerialPort* serial = SerialLine())
        serial->flush();
    return accepted < 0 ? COM_ERR_IO : static_cast<int>(accepted);
}

// Drops what still waits to be handed to the driver. Bytes the driver already has are on their way
// and are left alone: discarding them would cut a frame, and the sensor would take the rest of it
// and the next frame for one garbled command.
void ComPort::FlushOutput()
{
    QSerialPort* serial = SerialLine();
    if (serial != nullptr && serial->bytesToWrite() > 0)
        serial->clear(QSerialPort::Output);
}

void ComPort::FlushInput()
{
    if (QSerialPort* serial = SerialLine())
        serial->clear(QSerialPort::Input);
    else
        simLine_->ClearInput();
    input_.clear();
    pending_ &= ~(COM_EVENT_NOTIFY | COM_EVENT_CHAR);
}

void ComPort::OnReadyRead()
{
    NoteArrivals();
    Deliver();
}

void ComPort::OnBytesWritten()
{
    if (device_->bytesToWrite() == 0) {
        pending_ |= COM_EVENT_TX_EMPTY;
        Deliver();
    }
}

void ComPort::OnError(QSerialPort::SerialPortError error)
{
    // A read, write or resource error on an open port means the device has gone: cable pulled,
    // adapter unplugged, the other end of a pseudo-terminal closed. Closing stops the notifiers,
    // which would otherwise fire again and again on the hung-up descriptor.
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError || error == QSerialPort::WriteError)
        Close();
}

// Moves the bytes that arrived into the input queue, drops and counts what does not fit, and
// notes the events the stored bytes raise.
void ComPort::NoteArrivals()
{
    if (!IsOpen() || device_->bytesAvailable() == 0)
        return;
    const qsizetype stored = input_.size();
    const qint64 fits = std::min<qint64>(device_->bytesAvailable(), inputQueueSize_ - stored);
    input_.resize(stored + fits);
    input_.resize(stored + std::max<qint64>(device_->read(input_.data() + stored, fits), 0));
    dropped_ += device_->skip(device_->bytesAvailable());
    const QByteArrayView fresh = QByteArrayView(input_).sliced(stored);
    if (fresh.isEmpty())
        return;
    pending_ |= COM_EVENT_NOTIFY;  // the queue length is checked against the notify count on delivery
    if ((listener_.mask & COM_EVENT_CHAR) != 0 && fresh.contains(listener_.eventCharacter))
        pending_ |= COM_EVENT_CHAR;
}

int ComPort::TakeDueEvents()
{
    int events = pending_ & listener_.mask;
    pending_ = 0;
    if (input_.size() < std::max(listener_.notifyCount, 1))
        events &= ~COM_EVENT_NOTIFY;
    return events;
}

void ComPort::Deliver()
{
    // A running callback's loop below, or the end of a blocking read, picks the events up.
    if (inCallback_ || holds_ > 0)
        return;
    while (IsOpen() && listener_.callback != nullptr) {
        const int events = TakeDueEvents();
        if (events == 0)
            return;
        const Listener listener = listener_;
        inCallback_ = true;
        listener.callback(number_, events, listener.data);
        inCallback_ = false;
        // While the callback processed events nested inside readyRead, Qt did not signal readyRead
        // again: bytes that arrived meanwhile are only in the buffer.
        NoteArrivals();
    }
}

void ComPort::DeliverLater()
{
    if (pending_ != 0 && IsOpen())
        QTimer::singleShot(0, device_, [this] { Deliver(); });
}

// Port numbers ever used; entries stay for the whole run, so their addresses stay valid.
std::map<int, ComPort>& Ports()
{
    static std::map<int, ComPort> ports;
    return ports;
}

// Runs operation on the open port `port`; the error code when the number is invalid or the port
// is not open.
template <typename Operation>
auto OnOpenPort(int port, Operation operation) -> decltype(operation(std::declval<ComPort&>()))
{
    if (port < 1)
        return COM_ERR_PORT_NUMBER;
    const auto found = Ports().find(port);
    if (found == Ports().end() || !found->second.IsOpen())
        return COM_ERR_NOT_OPEN;
    return operation(found->second);
}

OpenOutcome OpenPort(int port, const char* deviceName, long baud, int parity, int dataBits, int stopBits,
                     int inputQueueSize)
{
    const std::string device =
        deviceName != nullptr && *deviceName != '\0' && port >= 1 ? std::string(deviceName) : ComDeviceName(port);
    if (device.empty()) {
        const std::string n = std::to_string(port);
        return {COM_ERR_PORT_NUMBER, "No device for port " + n + " (KORVA_COM" + n + " can name one)"};
    }
    ComPort& slot = Ports().try_emplace(port, port).first->second;
    const QString name = QString::fromStdString(device);
    return slot.Open(SimLine::IsSimDevice(name) ? name : SystemDevice(device), baud, parity, dataBits, stopBits,
                     inputQueueSize);
}

}  // namespace

// The output queue size is not used: what is written goes to the driver at once.
int OpenComConfig(int port, const char* deviceName, long baud, int parity, int dataBits, int stopBits,
                  int inputQueueSize, int /*outputQueueSize*/)
{
    const OpenOutcome outcome = OpenPort(port, deviceName, baud, parity, dataBits, stopBits, inputQueueSize);
    s_lastOpenError = outcome.reason;
    return outcome.code;
}

int SetComTime(int port, double seconds)
{
    return OnOpenPort(port, [seconds](ComPort& p) {
        p.SetTimeLimit(seconds);
        return 0;
    });
}

int FlushInQ(int port)
{
    return OnOpenPort(port, [](ComPort& p) {
        p.FlushInput();
        return 0;
    });
}

int FlushOutQ(int port)
{
    return OnOpenPort(port, [](ComPort& p) {
        p.FlushOutput();
        return 0;
    });
}

int SetCTSMode(int port, int mode)
{
    return OnOpenPort(port, [mode](ComPort& p) { return p.SetHandshake(mode != 0) ? 0 : COM_ERR_IO; });
}

int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter, ComCallback callback,
                       void* callbackData)
{
    const Listener listener{eventMask, notifyCount, static_cast<char>(eventCharacter), callback, callbackData};
    return OnOpenPort(port, [&listener](ComPort& p) {
        p.Listen(listener);
        return 0;
    });
}

int ComRd(int port, char* buffer, size_t count)
{
    const int read = OnOpenPort(port, [buffer, count](ComPort& p) { return p.Read(buffer, count); });
    Tap(port, false, buffer, read);
    return read;
}

int ComWrt(int port, const char* buffer, size_t count)
{
    const int accepted = OnOpenPort(port, [buffer, count](ComPort& p) { return p.Write(buffer, count); });
    Tap(port, true, buffer, accepted);
    return accepted;
}

void SetComTap(ComTap tap)
{
    s_tap = tap;
}

int GetInQLen(int port)
{
    return OnOpenPort(port, [](ComPort& p) { return p.QueueLength(); });
}

long long GetInQDropped(int port)
{
    return OnOpenPort(port, [](ComPort& p) { return p.Dropped(); });
}

const sim::SimulatedSensor* SimulatedSensorOf(int port)
{
    const auto found = Ports().find(port);
    return found == Ports().end() ? nullptr : found->second.SimulatedSensor();
}

int CloseCom(int port)
{
    const int result = OnOpenPort(port, [](ComPort& p) {
        p.Close();
        return 0;
    });
    return result == COM_ERR_NOT_OPEN ? 0 : result;
}

std::string ComDeviceName(int port)
{
    if (port < 1)
        return {};
    const QByteArray chosen = qgetenv(("KORVA_COM" + std::to_string(port)).c_str());
    if (!chosen.isEmpty())
        return chosen.toStdString();
    if (port > COM_PORT_COUNT)
        return {};
#ifdef Q_OS_WIN
    return "COM" + std::to_string(port);
#else
    static constexpr const char* kFamilies[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
    return kFamilies[(port - 1) / 4] + std::to_string((port - 1) % 4);
#endif
}

int SetComDevice(int port, const char* device)
{
    if (port < 1 || device == nullptr)
        return COM_ERR_PORT_NUMBER;
    qputenv(("KORVA_COM" + std::to_string(port)).c_str(), QByteArray(device));
    return 0;
}

std::string ComLastOpenError()
{
    return s_lastOpenError;
}

namespace {

// The system's list of serial ports. Its enumeration costs milliseconds, and labelling the ring asks
// about every port at once, so one list serves the questions of a quarter of a second.
const QList<QSerialPortInfo>& ListedPorts()
{
    static QList<QSerialPortInfo> listed;
    static QElapsedTimer taken;
    if (!taken.isValid() || taken.hasExpired(250)) {
        listed = QSerialPortInfo::availablePorts();
        taken.start();
    }
    return listed;
}

// The system's entry for a device (as SystemDevice gives it); an entry with no port name when the
// system lists no such port.
QSerialPortInfo ListedPort(const QString& device)
{
    const QString name = QFileInfo(device).fileName();
    const QList<QSerialPortInfo>& listed = ListedPorts();
    const auto found = std::find_if(listed.begin(), listed.end(), [&](const QSerialPortInfo& info) {
        return info.portName() == name || info.systemLocation() == device;
    });
    return found == listed.end() ? QSerialPortInfo() : *found;
}

QString Hex4(quint16 id)
{
    return QString("%1").arg(id, 4, 16, QChar('0'));
}

}  // namespace

ComPortDetails ComPortInfo(int port)
{
    ComPortDetails details;
    details.device = ComDeviceName(port);
    details.present = ComPortPresent(port);
    if (!details.present || details.device.starts_with("sim:"))
        return details;
    const QSerialPortInfo info = ListedPort(SystemDevice(details.device));
    details.description = info.description().toStdString();
    details.manufacturer = info.manufacturer().toStdString();
    if (info.hasVendorIdentifier() && info.hasProductIdentifier())
        details.usbId = (Hex4(info.vendorIdentifier()) + ":" + Hex4(info.productIdentifier())).toStdString();
    return details;
}

bool ComPortPresent(int port)
{
    const std::string device = ComDeviceName(port);
    if (device.empty())
        return false;
    if (device.starts_with("sim:"))
        return true;
#ifdef Q_OS_WIN
    // A COM port has no file to look at; Windows lists the ports it has.
    return !ListedPort(QString::fromStdString(device)).portName().isEmpty();
#else
    return QFileInfo::exists(QString::fromStdString(device));
#endif
}

bool ComPortOpen(int port)
{
    return OnOpenPort(port, [](ComPort&) { return 0; }) == 0;
}

}  // namespace korva
