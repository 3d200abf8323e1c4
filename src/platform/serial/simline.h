// The simulated line: the PC's end of a serial line whose other end is the simulated sensor
// (korva::sim::SimulatedSensor, the engine of korva-sensor-sim) inside this process. The serial
// ports open it for the device "sim:" or "sim:<options>".
//
// Everything happens on the user-interface thread. What the PC writes reaches the sensor at once,
// as bytes written to a pseudo-terminal reach korva-sensor-sim; the sensor's pacing counts the
// command's own bytes on the line and lets each 16-byte chunk of its answer arrive when the last
// of its bytes would have, on a 19200-baud 8N1 line (or at once with --no-pacing). A single-shot
// timer, running only while an answer is on its way, hands each chunk over during event
// processing and signals readyRead; a blocking read (waitForReadyRead) sleeps until the next chunk
// is due or its time is up, and takes the due chunks then. Nothing is ever received inside write.
// bytesWritten follows a write at the next event processing, as the serial port's does.
#pragma once

#include <chrono>
#include <QByteArray>
#include <QIODevice>
#include <QTimer>

#include <memory>
#include <string>

namespace korva::sim {
class SimulatedSensor;
}

namespace korva {

class SimLine final : public QIODevice {
    Q_OBJECT

public:
    // The device names of the simulated line: "sim:" and "sim:<options>".
    static bool IsSimDevice(const QString& device);

    explicit SimLine(QObject* parent = nullptr);
    ~SimLine() override;

    // Opens the line to the sensor the device describes: "sim:" followed by the options of
    // korva-sensor-sim, separated by blanks, except --link and --help. At most readBufferSize
    // received bytes wait in the line for a read; further answer bytes wait at the sensor. The
    // device of the last open reaches the same sensor again, which keeps its parameters as a
    // sensor does while the PC closes and reopens its port; another device starts a new sensor.
    // False, with the reason in errorString(), for options the sensor does not take or an EEPROM
    // file it cannot read.
    bool OpenDevice(const QString& device, qint64 readBufferSize);
    // Drops what has arrived: the bytes waiting to be read and the answer chunks due by now.
    void ClearInput();
    // The sensor of the last successful open; null before one.
    const sim::SimulatedSensor* Sensor() const { return sensor_.get(); }

    void close() override;
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    bool waitForReadyRead(int msecs) override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool StartSensor(const QString& device);
    bool Receive();
    void TakeCommands();
    void Announce();
    void Arm();
    void OnTimer();
    void ReportWritten();

    std::unique_ptr<sim::SimulatedSensor> sensor_;
    QString device_;                  // the device the sensor was started for
    QByteArray received_;             // answer bytes that arrived and wait to be read
    QByteArray toSensor_;             // bytes written that the sensor has not taken yet (its outbox is full)
    qint64 readBufferSize_ = 0;
    qint64 unreported_ = 0;           // bytes written since the last bytesWritten
    bool announcing_ = false;         // readyRead is being signalled
    QTimer timer_;                    // runs while the next answer chunk is on its way
    std::chrono::steady_clock::time_point armedFor_{};  // the due time the running timer was started for
};

}  // namespace korva
