#include "simline.h"

#include "simulatedsensor.h"

#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <span>
#include <utility>

namespace korva {

namespace {

using sim::Clock;

// What the timer of the simulated line counts in.
constexpr std::chrono::milliseconds kTimerStep{1};

const QLatin1String kSimPrefix("sim:");

}  // namespace

bool SimLine::IsSimDevice(const QString& device)
{
    return device.startsWith(kSimPrefix);
}

SimLine::SimLine(QObject* parent) : QIODevice(parent)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { OnTimer(); });
}

SimLine::~SimLine() = default;

bool SimLine::OpenDevice(const QString& device, qint64 readBufferSize)
{
    if (isOpen())
        close();
    if ((sensor_ == nullptr || device != device_) && !StartSensor(device))
        return false;
    readBufferSize_ = std::max<qint64>(readBufferSize, 1);
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    Arm();  // answers that were on their way while the line was closed come in
    return true;
}

// The options as korva-sensor-sim reads its command line; what only makes sense for a sensor on
// a device of its own is refused.
bool SimLine::StartSensor(const QString& device)
{
    sim::ParsedOptions parsed = sim::parseOptions(sim::splitOptions(device.mid(kSimPrefix.size()).toStdString()));
    QString refusal = QString::fromStdString(parsed.error);
    if (refusal.isEmpty() && parsed.help)
        refusal = QStringLiteral("--help is not an option of a port");
    if (refusal.isEmpty() && !parsed.options.linkPath.empty())
        refusal = QStringLiteral("--link has no use here: the sensor inside the program has no device to link to");
    if (!refusal.isEmpty()) {
        setErrorString(refusal);
        return false;
    }
    auto sensor = std::make_unique<sim::SimulatedSensor>(std::move(parsed.options));
    try {
        sensor->start();
    } catch (const std::exception& e) {
        setErrorString(QString::fromStdString(e.what()));
        return false;
    }
    sensor_ = std::move(sensor);
    device_ = device;
    toSensor_.clear();
    return true;
}

void SimLine::close()
{
    timer_.stop();
    received_.clear();
    unreported_ = 0;
    QIODevice::close();
}

qint64 SimLine::bytesAvailable() const
{
    return received_.size() + QIODevice::bytesAvailable();
}

qint64 SimLine::readData(char* data, qint64 maxSize)
{
    const qint64 count = std::min<qint64>(maxSize, received_.size());
    std::copy_n(received_.constData(), count, data);
    received_.remove(0, count);
    if (count > 0)
        Arm();  // chunks held back by a full buffer may come now
    return count;
}

// The bytes go to the sensor at once, as far as it takes them; it counts their time on the line.
qint64 SimLine::writeData(const char* data, qint64 size)
{
    toSensor_.append(data, size);
    const Clock::time_point now = Clock::now();
    sensor_->expire(now);
    TakeCommands();
    if (unreported_ == 0 && size > 0)
        QMetaObject::invokeMethod(this, &SimLine::ReportWritten, Qt::QueuedConnection);
    unreported_ += size;
    Arm();
    return size;
}

bool SimLine::waitForReadyRead(int msecs)
{
    const QDeadlineTimer deadline(msecs);
    while (isOpen()) {
        if (Receive()) {
            Announce();
            Arm();
            return true;
        }
        const std::optional<Clock::time_point> next =
            received_.size() < readBufferSize_ ? sensor_->nextAnswerDue() : std::nullopt;
        if (deadline.hasExpired() || (!next && deadline.isForever()))
            return false;
        std::chrono::nanoseconds wait = deadline.isForever() ? std::chrono::nanoseconds::max()
                                                             : std::chrono::nanoseconds(deadline.remainingTimeNSecs());
        if (next)
            wait = std::min<std::chrono::nanoseconds>(wait, *next - Clock::now());
        const auto sleep = std::chrono::ceil<std::chrono::microseconds>(std::max(wait, std::chrono::nanoseconds(0)));
        QThread::usleep(static_cast<unsigned long>(sleep.count()));
    }
    return false;
}

void SimLine::ClearInput()
{
    const Clock::time_point now = Clock::now();
    sensor_->expire(now);
    TakeCommands();
    received_.clear();
    for (std::span<const std::uint8_t> due; !(due = sensor_->due(now)).empty();) {
        sensor_->sent(due.size());
        TakeCommands();
    }
    Arm();
}

// Takes the answer chunks due by now (within a step of the timer), as far as the buffer holds them;
// true when bytes arrived.
// Room in the sensor's outbox lets commands that waited for it in.
bool SimLine::Receive()
{
    const Clock::time_point now = Clock::now();
    sensor_->expire(now);
    TakeCommands();
    bool arrived = false;
    while (received_.size() < readBufferSize_) {
        const std::span<const std::uint8_t> due = sensor_->due(now + kTimerStep);
        if (due.empty())
            break;
        const qint64 count = std::min<qint64>(static_cast<qint64>(due.size()), readBufferSize_ - received_.size());
        received_.append(reinterpret_cast<const char*>(due.data()), count);
        sensor_->sent(static_cast<std::size_t>(count));
        arrived = true;
        TakeCommands();
    }
    return arrived;
}

void SimLine::TakeCommands()
{
    if (toSensor_.isEmpty())
        return;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(toSensor_.constData());
    const std::size_t taken =
        sensor_->take(std::span(bytes, static_cast<std::size_t>(toSensor_.size())), Clock::now());
    toSensor_.remove(0, static_cast<qsizetype>(taken));
}

// As the serial port does, readyRead is not signalled again while it is being signalled: bytes
// that arrive meanwhile (in event processing nested in a receiver) wait in the buffer.
void SimLine::Announce()
{
    if (announcing_)
        return;
    announcing_ = true;
    emit readyRead();
    announcing_ = false;
}

// Runs the timer until the answer on its way is complete, and then hands over all of it: the
// program looks at an answer when it is whole, and one wake-up an answer (rather than one a 16-byte
// chunk) keeps the line's pace also where waking up costs (under wine). The timer counts whole
// milliseconds: it is set to the step before the answer is due, and what is due within a step
// counts as come, so the answer is never late by the timer's rounding. Stops the timer when nothing
// is on its way (or the buffer is full until it is read).
void SimLine::Arm()
{
    std::optional<Clock::time_point> next;
    if (isOpen() && received_.size() < readBufferSize_)
        next = sensor_->answerCompleteDue();
    if (!next) {
        timer_.stop();
        return;
    }
    // Starting a timer anew costs more than the few microseconds of a due time that has not
    // changed: on Windows each start sets up a system timer, and each stop waits for it.
    if (timer_.isActive() && armedFor_ == *next)
        return;
    armedFor_ = *next;
    const auto wait = std::chrono::floor<std::chrono::milliseconds>(*next - Clock::now());
    timer_.start(std::max(wait, std::chrono::milliseconds(0)));
}

void SimLine::OnTimer()
{
    if (!isOpen())
        return;
    if (Receive())
        Announce();
    Arm();
}

void SimLine::ReportWritten()
{
    const qint64 count = std::exchange(unreported_, 0);
    if (count > 0 && isOpen())
        emit bytesWritten(count);
}

}  // namespace korva
