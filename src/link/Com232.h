// The device link: the serial port to the sensor, the receive handler, command and answer frames,
// the line check, the data-block reads and the copies between parameters and packet.
#pragma once

#include "gui/Gui.h"

#include <cstdint>

namespace korva {

// Bytes of a command or answer frame.
constexpr int FRAMELEN = 2 * PNUM + 4;
// Size of the transmit and receive buffers.
constexpr int BUFSIZE = 1024;

// Port and receive state.
extern int com;           // number of the open serial port
extern int ret;           // result of the last port open, then of the line check
extern const int eventMask;
extern int rx_flag;       // 1 once an answer frame has been decoded into pp
extern int graphrefresh;  // 1 once an answer frame waits to be drawn

// Frames.
extern int sync;   // sync word of command frames, always 0x55
extern int order;  // order code of the frame most recently built
extern int nBytesW;
extern unsigned char szWriteBuf[BUFSIZE];
extern unsigned char szReadBuf[BUFSIZE];

// Data blocks.
extern uint16_t adcbuf[CURVE_POINTS];
extern int ref_flag;
extern int nBytesR;

void FillTxBuf(uint16_t orderCode, const uint16_t* words);
void GetRxBuf(int count);
void CopyVarsToPP();
void CopyPPtoVars();

void InitRS232(int port);
void RX_Receive_Function(int port, int events, void* callbackData);
void InstallRxHandler(int port);
void RemoveRxHandler(int port);
// Writes the frame in szWriteBuf to port com; returns the count accepted (into nBytesW as well).
int WriteFrame();
int CheckComLine(int port);
bool AwaitAnswerFrame();
void ReadData64(int start, int selector);
void ReadData128(int start, int selector);

int CC_DropDCom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

}  // namespace korva
