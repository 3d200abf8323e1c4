// The device link: the serial port to the sensor, the receive handler, the parameter packet and
// the variables behind its words, command and answer frames, the line check and the data-block
// reads.
#pragma once

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

void CopyVarsToPP();
void CopyPPtoVars();
// The same copies with another packet than pp.
void PackVariables(uint16_t* packet);
void UnpackVariables(const uint16_t* packet);

// ---- port and frames ----------------------------------------------------------------------------------

extern int com;           // number of the open serial port
extern int rx_flag;       // 1 once an answer frame has been decoded into pp
extern int graphrefresh;  // 1 once an answer frame waits to be drawn

// The order whose answer frame is due: set when a request that is answered by a frame goes out,
// 0 again once the answer has come or its wait has given up. The receive handler takes a frame
// only while one is due; any other frame answers no request of the program (a late answer after a
// time-out, a sensor talking on its own) and is dropped and counted, never decoded into pp.
extern int awaitedOrder;
extern uint64_t strayFrames;  // frames dropped so, since start-up
// True while an answer frame is due.
bool AnswerDue();

// The frame state as the sensor's protocol names it: written with every frame and read by nothing
// else in the program, but what a debugger or a test looks at to see the last frame sent.
extern int sync;   // sync word of command frames, always SYNC_WORD
extern int order;  // order code of the frame most recently built
extern unsigned char szWriteBuf[BUFSIZE];
extern unsigned char szReadBuf[BUFSIZE];

void FillTxBuf(uint16_t orderCode, const uint16_t* words);
void GetRxBuf(int count);

// The one way a command frame reaches the sensor: stores the order code in `order`, builds the
// frame from `words` in szWriteBuf and writes it to port com. Returns the count written.
int SendFrame(uint16_t orderCode, const uint16_t* words);
// Packs the parameter variables into pp, then sends pp with the order code.
int SendParameters(uint16_t orderCode);

// The read-back of the sensor's parameters that InitRS232, Find and a reconnect run once the line
// check has passed: PushGET of gui, which start-up installs here, so that link calls nothing above
// it directly. Not installed, nothing is read back.
extern void (*readBack)(int storageTarget);

void InitRS232(int port);
void RX_Receive_Function(int port, int events, void* callbackData);
void InstallRxHandler(int port);
void RemoveRxHandler(int port);
// The line check on the port just opened: 1 when the sensor's echo came, else 0, with the outcome
// on the status line. An answer that is the request itself (a loopback plug, crossed lines) is no
// echo.
int CheckComLine(int port);
// Waits for the answer frame to the request just written, testing first what `check` says, for at
// most `failAt` ticks: true once it has been decoded into pp. After a time-out (AnswerTimedOut)
// the answer is no longer due, so one that still comes is dropped.
bool AwaitAnswer(WaitCheck check, uint16_t failAt = TICK_LIMIT + 1);
// The wait for the answer due gave up after `waitedTicks`. The line is unsettled from now on: the
// next request waits until the late answer has come and been dropped, or the line has been quiet
// as long again. A late answer to a teach means the sensor took it after all: it is read back
// (ReadBackAfterLateTeach) and the status line says the teach was answered late.
void AnswerTimedOut(uint16_t waitedTicks);
int ReadBackAfterLateTeach(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Waits for the answer frame to the request just written: true once it has been decoded into pp,
// false with "Timeout-RS-232..." stored when the tick limit passed first.
bool AwaitAnswerFrame();

int CC_DropDCom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// The COM-port ring names each port after its device, afresh each time it opens:
// "COM5 \u2014 ttyUSB0 \u00b7 FT232R USB UART \u00b7 FTDI \u00b7 0403:6001", "COM2 \u2014 absent".
std::string ComPortLabel(int port);
void LabelComPorts();

// Find: the line check goes to each present port in turn, with a short wait for the echo; the
// first port that answers becomes the open port and is read back. One search at a time; Stop, the
// window's close and a quit signal end it at once (StopFind).
int CC_BTNFind(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
void StopFind();

// Find is dimmed for as long as this lives: while a Run or Data loop runs (it comes back when the
// loop ends, also by a time-out, when a lost sensor is most likely to be looked for), and while a
// search runs (a click meanwhile would start another search once it ends).
class FindDimmed {
public:
    FindDimmed() { Dim(panelHandle, PANEL_BTNFIND, 1); }
    ~FindDimmed() { Dim(panelHandle, PANEL_BTNFIND, 0); }
    FindDimmed(const FindDimmed&) = delete;
    FindDimmed& operator=(const FindDimmed&) = delete;
};

// Watches the open port from start-up on: when its device goes away (a pulled USB adapter) the
// port is closed and the status line says so (DisconnectedText); when the same device returns, the
// port is reopened and greeted as after a change of port, whatever Find tried meanwhile, until
// another port is opened on purpose. A running loop is not restarted.
void WatchComPort();
std::string DisconnectedText();
// What the status line says of a frame that did not reach the port (`written`: what ComWrt
// returned): the device is away, or the port's error; "" for a short write to an open port.
std::string WriteFailureText(int written);

// ---- data blocks --------------------------------------------------------------------------------------

extern uint16_t adcbuf[CURVE_POINTS];
extern int ref_flag;
extern int nBytesR;

void ReadData64(int start, int selector);
void ReadData128(int start, int selector);

}  // namespace korva
