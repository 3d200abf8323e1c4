// Requests and their answers: sending a frame, the receive handler, the waits, the line after a
// time-out, and the data-block reads.
#include "link/Exchange.h"

#include "link/Com232.h"
#include "link/RunProducts.h"
#include "rs232.h"

#include <algorithm>
#include <chrono>

namespace korva {

int rx_flag;
int graphrefresh;
int awaitedOrder;
uint64_t strayFrames;
uint16_t adcbuf[CURVE_POINTS];
int ref_flag;
int nBytesR;

namespace {

constexpr int eventMask = COM_EVENT_NOTIFY | COM_EVENT_TX_EMPTY | COM_EVENT_CHAR;

int nBytesW;  // count of the last frame written: read by nothing, kept for a debugger to see
uint64_t unheldRequests = 0;
bool rxHandlerOn = false;     // the receive handler is installed on port com
bool requestWritten = false;  // the last request reached the port: it may be answered

// Orders the sensor answers with an answer frame; the others get no answer or a bare data block.
bool AnsweredByFrame(uint16_t orderCode)
{
    switch (orderCode) {
    case ORDER_GET_RAM:
    case ORDER_GET_EEPROM:
    case ORDER_TEACH_SETPOINT:
    case ORDER_TEACH_BACKGROUND:
    case ORDER_LINE_CHECK:
    case ORDER_MEASURE:
        return true;
    default:
        return false;
    }
}

int WriteFrame()
{
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf), FRAMELEN);
    return nBytesW;
}

void FlushAs(Flush flush)
{
    if (flush == Flush::InThenOut) {
        FlushInQ(com);
        FlushOutQ(com);
    } else if (flush == Flush::OutThenIn) {
        FlushOutQ(com);
        FlushInQ(com);
    }
}

// ---- the line after a time-out ----

using Steady = std::chrono::steady_clock;
constexpr auto TICK = std::chrono::milliseconds(50);

// A request whose wait gave up may still be answered, late. Until that answer has come, or the
// line has been quiet for as long as the wait that gave up, the line is unsettled: the next request
// waits, so that the late answer is never taken for its own.
struct LateAnswer {
    bool due = false;
    int port = 0;
    uint16_t order = 0;        // of the request that timed out
    int bytes = FRAMELEN;      // what is still to come of its answer: a frame, or the rest of a block
    Steady::time_point quiet;  // the end of the quiet period
};
LateAnswer late;

void LineUnsettled(uint16_t orderCode, uint16_t waitedTicks, int bytes)
{
    if (requestWritten)
        late = {true, com, orderCode, bytes, Steady::now() + waitedTicks * TICK};
}

// Runs as a call that waits for the line: the teach is over by then, and a loop may hold it.
int ReadBackAfterLateTeach(int, int, int, void*, int, int)
{
    ReadBack();
    if (rx_flag == 1)
        ShowMessage("Teach answered late - check the teach value");
    return 0;
}

void ReadBackLateTeach(void*)
{
    CallOnLine(ReadBackAfterLateTeach, LineNeed::Exchange, 0, 0, 0);
}

// The late answer has come and been dropped. A teach the sensor did take after all is read back.
void LateAnswerCame()
{
    late.due = false;
    if (late.order == ORDER_TEACH_SETPOINT || late.order == ORDER_TEACH_BACKGROUND)
        PostDeferredCall(ReadBackLateTeach, nullptr);
}

// Waits up to `left` for the late answer, with the receive handler off, so that the answer,
// frame or block, is seen whole in the input queue.
void AwaitLateAnswer(std::chrono::milliseconds left)
{
    const bool handlerWasOn = rxHandlerOn;
    RemoveRxHandler(com);
    const auto ticks = static_cast<uint16_t>((left + TICK - std::chrono::milliseconds(1)) / TICK);
    if (WaitForSensor([] { return GetInQLen(com) >= late.bytes; }, WaitCheck::AnswerFirst, ticks)) {
        ++strayFrames;
        LateAnswerCame();
    }
    if (handlerWasOn)
        InstallRxHandler(com);
}

// Before a request goes out on an unsettled line: waits for the late answer or the end of the
// quiet period, then drops what came. A port that is not open receives nothing.
void SettleLine()
{
    if (!late.due || late.port != com)
        return;
    late.due = false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(late.quiet - Steady::now());
    if (left.count() > 0 && ComPortOpen(com))
        AwaitLateAnswer(left);
    FlushInQ(com);
}

// The one way a command frame reaches the sensor: stores the order code in `order`, builds the
// frame from `words` in szWriteBuf and writes it to port com.
int SendFrame(uint16_t orderCode, const uint16_t* words)
{
    SettleLine();
    sync = SYNC_WORD;
    order = orderCode;
    FillTxBuf(orderCode, words);
    awaitedOrder = AnsweredByFrame(orderCode) ? orderCode : 0;
    const int written = WriteFrame();
    requestWritten = written > 0;
    return written;
}

// ---- data blocks ----

// Texts of one kind of data-block read.
struct BlockRead {
    int words;
    const char* waiting;
    const char* received;
    const char* timeout;
};

constexpr BlockRead block64{64, "Waiting for Data[64] ...", "Data[64] block received!",
                            "Timeout-RS-232 while reading 64 data-words!"};
constexpr BlockRead block128{128, "Waiting for Data[128] ...", "Data[128] block received!",
                             "Timeout-RS-232 while reading 128 data-words!"};

void RequestBlock(int start, int selector)
{
    const uint16_t words[PNUM] = {static_cast<uint16_t>(start), static_cast<uint16_t>(selector)};
    Ask(ORDER_DATA_BLOCK, Flush::OutThenIn, words);
}

// Waits until the block is complete or the tick limit has passed; returns the queue length last
// seen.
int AwaitBlock(const BlockRead& kind)
{
    int waiting = 0;
    const bool complete = WaitForSensor(
        [&] {
            waiting = GetInQLen(com);
            return waiting >= 2 * kind.words;
        },
        WaitCheck::AnswerFirst);
    if (!complete) {
        StoreStatus(kind.timeout);
        LineUnsettled(ORDER_DATA_BLOCK, TICK_LIMIT + 1, 2 * kind.words - waiting);
    }
    return waiting;
}

// Takes what arrived into szReadBuf, never more than it holds; a surplus is discarded.
void TakeBlock(int waiting)
{
    const int count = std::clamp(waiting, 0, BUFSIZE);
    nBytesR = count > 0 ? ComRd(com, reinterpret_cast<char*>(szReadBuf), static_cast<size_t>(count)) : 0;
    if (waiting > count)
        FlushInQ(com);
}

void ReadDataBlock(const BlockRead& kind, int start, int selector)
{
    if (start < 0 || start + kind.words > CURVE_POINTS)
        return;
    RequestBlock(start, selector);
    ShowMessage(kind.waiting);
    TakeBlock(AwaitBlock(kind));
    if (nBytesR == 2 * kind.words)
        StoreStatus(kind.received);
    for (int i = 0; i < kind.words; ++i)
        adcbuf[start + i] = WordAt(szReadBuf + 2 * i);
    ShowStatus();
}

}  // namespace

// ---- requests and answers ----------------------------------------------------------------------------

bool AnswerDue()
{
    return awaitedOrder != 0;
}

bool Answered()
{
    return rx_flag == 1;
}

int Ask(uint16_t orderCode, Flush flush, const uint16_t* words)
{
    if (!LineHeld()) {
        ++unheldRequests;
        return 0;
    }
    FlushAs(flush);
    if (words == nullptr) {
        CopyVarsToPP();
        words = pp;
    }
    const int written = SendFrame(orderCode, words);
    rx_flag = 0;
    return written;
}

uint64_t UnheldRequests()
{
    return unheldRequests;
}

void FlushQueues()
{
    FlushAs(Flush::InThenOut);
}

void ClearLine()
{
    rx_flag = 0;
    FlushQueues();
}

bool AwaitAnswerUnless(WaitCheck check, uint16_t failAt, bool (*abandoned)())
{
    const bool answered =
        WaitForSensor([&] { return rx_flag == 1 || abandoned(); }, check, failAt) && rx_flag == 1;
    if (!answered)
        AnswerTimedOut(failAt);
    return answered;
}

bool AwaitAnswer(WaitCheck check, uint16_t failAt)
{
    return AwaitAnswerUnless(check, failAt, [] { return false; });
}

bool AwaitAnswerFrame()
{
    if (!AwaitAnswer(WaitCheck::AnswerFirst)) {
        StoreStatus("Timeout-RS-232...");
        return false;
    }
    // Decoded once more from szReadBuf, as the receive handler left it.
    GetRxBuf(PNUM);
    return true;
}

void AnswerTimedOut(uint16_t waitedTicks)
{
    LineUnsettled(static_cast<uint16_t>(awaitedOrder), waitedTicks, FRAMELEN);
    awaitedOrder = 0;
}

// ---- the receive handler -----------------------------------------------------------------------------

void InstallRxHandler(int port)
{
    InstallComCallback(port, eventMask, FRAMELEN, sync, RX_Receive_Function, nullptr);
    rxHandlerOn = true;
}

void RemoveRxHandler(int port)
{
    InstallComCallback(port, 0, FRAMELEN, sync, nullptr, nullptr);
    rxHandlerOn = false;
}

ReceiveHandlerOn::ReceiveHandlerOn() : wasOn_(rxHandlerOn)
{
    if (!wasOn_)
        InstallRxHandler(com);
}

ReceiveHandlerOn::~ReceiveHandlerOn()
{
    if (!wasOn_)
        RemoveRxHandler(com);
}

void StartOnPort(int port)
{
    awaitedOrder = 0;
    FlushInQ(port);
    FlushOutQ(port);
    SetCTSMode(port, 0);
    InstallRxHandler(port);
}

// Only the answer to a measurement order is a record: it is drawn, and fed to what the run makes
// of its records.
void RX_Receive_Function(int, int events, void*)
{
    if ((events & COM_EVENT_NOTIFY) == 0)
        return;
    if (!AnswerDue()) {
        char stray[FRAMELEN];
        ComRd(com, stray, FRAMELEN);
        ++strayFrames;
        FlushInQ(com);
        if (late.due && late.port == com && late.bytes == FRAMELEN)
            LateAnswerCame();
        return;
    }
    ComRd(com, reinterpret_cast<char*>(szReadBuf), FRAMELEN);
    GetRxBuf(PNUM);
    ttick = 0;
    rx_flag = 1;
    graphrefresh = awaitedOrder == ORDER_MEASURE ? 1 : 0;
    awaitedOrder = 0;
    FlushInQ(com);
    if (graphrefresh == 1)
        FeedRunProducts();
}

BlockLine::BlockLine()
{
    RemoveRxHandler(com);
}

BlockLine::~BlockLine()
{
    FlushInQ(com);
    InstallRxHandler(com);
    FlushOutQ(com);
    FlushInQ(com);
}

bool MeasureOnce()
{
    const ReceiveHandlerOn handler;
    Ask(ORDER_MEASURE, Flush::InThenOut, pp);
    return AwaitAnswer(WaitCheck::LimitFirst);
}

// ---- data blocks -------------------------------------------------------------------------------------

void ReadData64(int start, int selector)
{
    ReadDataBlock(block64, start, selector);
}

void ReadData128(int start, int selector)
{
    ReadDataBlock(block128, start, selector);
}

}  // namespace korva
