// The device link: the parameter packet and the variables behind its words, the frames on the
// wire (Com232.cpp), and the port: opening it, the line check, the port ring's labels, Find and
// the watch over a device that goes away (Port.cpp). Requests and their answers go through the
// exchange unit (Exchange.h).
#pragma once

#include "link/Exchange.h"
#include "link/Protocol.h"
#include "shell/Shell.h"

#include <cstdint>
#include <string>

namespace korva {

// ---- parameter packet ---------------------------------------------------------------------------------

// The sixteen parameters, in packet order.
extern uint16_t power, pwrMode, vThd, bVal, polarity, eMode, eBeg, eEnd, tVal, tTol, iGain, ePoti, ccdMode,
    pStart, bMode, para15;

// The parameter packet; also where every decoded answer frame lands.
extern uint16_t pp[PNUM];
// The parameters' names as the program calls them, in packet order ("power", ..., "para15").
extern const char* const PARAMETER_NAMES[PNUM];
// The largest value the panels take for each parameter, all from 0: their controls' ranges, and
// for para15, which has no control, the range the panels keep it in.
extern const uint16_t PARAMETER_MAX[PNUM];

void CopyVarsToPP();
void CopyPPtoVars();
// The same copies with another packet than pp.
void PackVariables(uint16_t* packet);
void UnpackVariables(const uint16_t* packet);

// ---- frames -------------------------------------------------------------------------------------------

// The frame state as the sensor's protocol names it, written with every frame: what a debugger or
// a test looks at to see the last frame sent, and the event character the receive handler is
// installed with (sync).
extern int sync;   // sync word of command frames, always SYNC_WORD
extern int order;  // order code of the frame most recently built
extern unsigned char szWriteBuf[BUFSIZE];
extern unsigned char szReadBuf[BUFSIZE];

void FillTxBuf(uint16_t orderCode, const uint16_t* words);
void GetRxBuf(int count);
// The 16-bit value at `at`, high byte first.
uint16_t WordAt(const unsigned char* at);

// ---- port ---------------------------------------------------------------------------------------------

extern int com;  // number of the open serial port

// Opens a port for the sensor: 19200 baud 8N1, no handshake, empty queues, the receive handler.
// Returns 0 or the negative error code of the open; the operating system's reason goes to the
// sink (PortTooltip), for an operator who wonders why the port won't open.
int OpenSensorPort(int port);
// What the status line says of a failed open ("Cannot open port", ...).
const char* OpenErrorText(int code);
// Opens port `port` and greets the sensor: the line check and, when it passes, the read-back.
void InitRS232(int port);
// The operator chose `port` in the ring: once no loop runs and the line is free, the port in use is
// closed and `port` opened, remembered and greeted. A running loop is not ended here.
void ChangePort(int port);
// The line check on the port just opened: 1 when the sensor's echo came, else 0, with the outcome
// on the status line. An answer that is the request itself (a loopback plug, crossed lines) is no
// echo.
int CheckComLine(int port);
// Reads the sensor's parameters from `storageTarget` (RAM or EEPROM) into the variables: true with
// "Parameter-frame received! - Line Ok!" stored when the answer came; else the variables stay as
// they were and the time-out is stored.
bool ReadParameters(int storageTarget);
// The set-point teach: the sensor takes its current measurement as set point. Sends the order with
// pp as it is, says "New setpoint value teached!" and waits for the answer (about 0.75 s); true when
// it came, else "Timeout-RS-232..." is shown.
bool TeachSetPoint();
// The background teach: the sensor takes its current line as background, with the parameter
// variables as they are. "Teach order echo received! - Line Ok!" when it answered, else the
// time-out; shown either way. True when it answered.
bool TeachBackground();
// The read-back after a good line check (InitRS232, Find, a reconnect, a late teach): the sensor's
// RAM parameters, shown through the sink (ParametersRead); Send and Get go to RAM from then on.
void ReadBack();

// The COM-port ring names each port after its device, afresh each time it opens:
// "COM5 \u2014 ttyUSB0 \u00b7 FT232R USB UART \u00b7 FTDI \u00b7 0403:6001", "COM2 \u2014 absent".
std::string ComPortLabel(int port);

// Find: the line check goes to each present port in turn, with a short wait for the echo; the
// first port that answers becomes the open port and is read back. One search at a time; Stop, the
// window's close and a quit signal end it at once (StopFind). Runs on the line (LineNeed::Loop).
void FindSensor();
void StopFind();

// Find is dimmed for as long as this lives: while a Run or Data loop runs (it comes back when the
// loop ends, also by a time-out, when a lost sensor is most likely to be looked for), and while a
// search runs (a click meanwhile would start another search once it ends).
class FindDimmed {
public:
    FindDimmed() { sink().FindDimmed(true); }
    ~FindDimmed() { sink().FindDimmed(false); }
    FindDimmed(const FindDimmed&) = delete;
    FindDimmed& operator=(const FindDimmed&) = delete;
};

// Watches the open port from start-up on: when its device goes away (a pulled USB adapter) the
// port is closed and the status line says so (DisconnectedText); when the same device returns, the
// port is reopened and greeted as after a change of port, whatever Find tried meanwhile, until
// another port is opened on purpose. A running loop is not restarted.
void WatchComPort();
std::string DisconnectedText();
// What the status line says of a frame that did not reach the port (`written`: what the request
// returned): the device is away, or the port's error; "" for a short write to an open port.
std::string WriteFailureText(int written);

}  // namespace korva
