// Serial-port library of the program, built on Qt Serial Port.
//
// Ports are addressed by number (1 = COM1, ...). When the environment variable KORVA_COM<n> is
// set, port n is that device (for example KORVA_COM1=/dev/pts/4); otherwise, on Linux, ports 1-4
// are /dev/ttyS0-3, 5-8 /dev/ttyUSB0-3 and 9-12 /dev/ttyACM0-3; on Windows port n is COMn.
// The device "sim:" or "sim:<options>" (the options of korva-sensor-sim, separated by blanks, but
// --link and --help) is the simulated sensor inside the program, paced like a 19200-baud line;
// every function below works on it as on a serial port.
// Everything runs on the user-interface thread: the receive callback is called during event
// processing (RunUserInterface or ProcessSystemEvents), never from another thread.
#pragma once

#include <cstddef>
#include <string>

namespace korva {

// Error codes of the port operations.
enum : int {
    COM_ERR_SYSTEM = -1,        // unspecified system error
    COM_ERR_PORT_NUMBER = -2,   // invalid port number
    COM_ERR_NOT_OPEN = -3,      // port not open
    COM_ERR_IO = -4,            // unspecified input/output error
    COM_ERR_INTERNAL = -5,      // unexpected internal error
    COM_ERR_NO_PORT = -6,       // no serial port found (the device does not exist)
    COM_ERR_CANNOT_OPEN = -7,   // the device exists but cannot be opened (busy, locked, permission)
    COM_ERR_TIMEOUT = -99,      // time limit exceeded
};

// Events of the receive callback.
enum : int {
    COM_EVENT_CHAR = 0x0002,      // the event character has arrived
    COM_EVENT_TX_EMPTY = 0x0004,  // the output queue has drained
    COM_EVENT_NOTIFY = 0x8000,    // bytes arrived and the input queue holds at least the notify count
};

// (port, set of events that occurred, callback data)
using ComCallback = void (*)(int port, int events, void* callbackData);

// Highest port number without a KORVA_COM<n> variable.
constexpr int COM_PORT_COUNT = 12;

// Opens and configures a port. An empty device name derives the device from the port number.
// parity 0 = none; stopBits 1 or 2. The input queue holds inputQueueSize bytes (4096 for a size
// below 1); bytes that arrive while it is full are dropped. Returns 0 or a negative error code;
// a "sim:" device with options the simulated sensor does not take gives COM_ERR_CANNOT_OPEN.
int OpenComConfig(int port, const char* deviceName, long baud, int parity, int dataBits, int stopBits,
                  int inputQueueSize, int outputQueueSize);
// Time limit of ComRd and ComWrt, in seconds.
int SetComTime(int port, double seconds);
// Discard everything waiting in the input or output queue.
int FlushInQ(int port);
int FlushOutQ(int port);
// Mode 0 switches hardware handshake off, 1 on.
int SetCTSMode(int port, int mode);
// Installs the receive callback for the events in eventMask. Mask 0 with no callback removes it.
int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter, ComCallback callback,
                       void* callbackData);
// Reads count bytes, waiting up to the time limit for missing ones. Returns the count read (which
// may be short) or a negative error code.
int ComRd(int port, char* buffer, size_t count);
// Queues count bytes for sending. Returns the count accepted or a negative error code.
int ComWrt(int port, const char* buffer, size_t count);
// Number of bytes waiting in the input queue, or a negative error code.
int GetInQLen(int port);
// Closes the port. Closing a port that is not open does nothing.
int CloseCom(int port);

// Operating-system device of a port number ("/dev/ttyUSB0", "COM5"), or "" for an invalid number.
std::string ComDeviceName(int port);
// Makes `device` the device of port `port` from now on, as KORVA_COM<port> does. 0, or
// COM_ERR_PORT_NUMBER for a port below 1 or a null device.
int SetComDevice(int port, const char* device);
// The operating system's reason for the last failed OpenComConfig, in words ("" when it succeeded).
std::string ComLastOpenError();

// What the system knows of a port's device now.
struct ComPortDetails {
    std::string device;        // ComDeviceName(port)
    bool present = false;      // the device exists (the simulated sensor always does)
    std::string description;   // "FT232R USB UART"; empty where the system knows none
    std::string manufacturer;  // "FTDI"; likewise
    std::string usbId;         // "0403:6001" for a USB device, else empty
};
ComPortDetails ComPortInfo(int port);
// Whether a port's device exists now: a cheaper look than ComPortInfo, for watching a device that
// went away.
bool ComPortPresent(int port);
// Whether the port is open. A port closes itself when its device goes away (a pulled USB adapter,
// the far end of a pseudo-terminal closed).
bool ComPortOpen(int port);

}  // namespace korva
