// The exchange unit: the only code that takes the line to the sensor, sends a request and waits for
// its answer. One exchange at a time: a request and its answer.
//
// The line. A call that talks to the sensor runs on the line (CallOnLine), as its need says: at once
// when the line allows, holding it while it runs, else it waits in line and runs later, as soon as
// the line is free - between two passes of a loop, or right after the call or loop that held it.
// Calls run in the order they came. A Run or Data loop holds the line from its start to its end
// (LoopHold) and lends it between two of its passes (LendLine).
//
// The request. Ask flushes the queues as the request's kind wants, settles a line left unsettled by
// a time-out, sends the frame, notes which answer is due and clears rx_flag; AwaitAnswer waits for
// the answer frame, which the receive handler decodes into pp; a wait that gives up counts a
// time-out and leaves the line unsettled. A request written while no call holds the line is
// refused and counted (UnheldRequests): it would meet another exchange's answer.
#pragma once

#include "link/Protocol.h"
#include "shell/Shell.h"

#include <cstdint>

namespace korva {

// ---- the line -----------------------------------------------------------------------------------------

// A call on the line: a control callback's signature.
using LineCall = int (*)(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// What a call needs of the line.
enum class LineNeed {
    None,      // nothing: it never talks to the sensor
    Exchange,  // a request and its answer: may also run between two passes of a loop
    Loop,      // a Run or Data loop, or a new port: only once no loop runs
};

// Runs `call` as `need` says: at once (holding the line while it runs, unless it needs none), or, while
// the line is held, later, in line (a call already waiting is not put in line twice). `argument`
// goes with the call: a choice made at its press (the storage target of Send and Get), which the call
// reads with CallArgument when it runs, whatever has been chosen meanwhile. Returns what the call
// returned, or 0 when it waits.
int CallOnLine(LineCall call, LineNeed need, int panel, int control, int event, int argument = 0);
// The argument of the call running on the line.
int CallArgument();

// Holds the line for as long as it lives: what the program does on its own (the greeting at
// start-up, a reconnect) and what CallOnLine runs.
class LineHold {
public:
    LineHold();
    ~LineHold();
    LineHold(const LineHold&) = delete;
    LineHold& operator=(const LineHold&) = delete;
};

// Marks a Run or Data loop, running on the line, for as long as it lives; stop_flag is 0 from its
// start until StopLoops.
class LoopHold {
public:
    LoopHold();
    ~LoopHold();
    LoopHold(const LoopHold&) = delete;
    LoopHold& operator=(const LoopHold&) = delete;
};

// True while a Run or Data loop runs, also while it finishes its last exchange after Stop.
bool LoopRunning();
// True while neither a loop nor a call holds the line.
bool LineFree();
// True while a call holds the line: a request may go out.
bool LineHeld();
// Called by a loop between two passes, when no answer is due: the answer just taken is done with,
// and the calls waiting for an exchange run now, with the receive handler they wait on.
void LendLine();

// ---- requests and answers ----------------------------------------------------------------------------

extern int rx_flag;       // 1 once an answer frame has been decoded into pp
extern int graphrefresh;  // 1 once an answer to a measurement order waits to be drawn

// The order whose answer frame is due: set when a request that is answered by a frame goes out,
// 0 again once the answer has come or its wait has given up. The receive handler takes a frame
// only while one is due; any other frame answers no request of the program (a late answer after a
// time-out, a sensor talking on its own) and is dropped and counted, never decoded into pp.
extern int awaitedOrder;
extern uint64_t strayFrames;  // frames dropped so, since start-up
// True while an answer frame is due.
bool AnswerDue();
// True once the answer due has been decoded into pp.
bool Answered();

// How a request empties the queues before it goes out.
enum class Flush { None, InThenOut, OutThenIn };

// Sends `orderCode` with `words` (the parameter variables packed into pp when null), the queues
// flushed as `flush` says. Returns the count written; a request while no call holds the line is
// not written (0).
int Ask(uint16_t orderCode, Flush flush, const uint16_t* words = nullptr);
// Waits for the answer frame to the request just written, testing first what `check` says, for at
// most `failAt` ticks: true once it has been decoded into pp. A wait that gives up leaves the line
// unsettled (AnswerTimedOut).
bool AwaitAnswer(WaitCheck check, uint16_t failAt = TICK_LIMIT + 1);
// The same, but it also gives up as soon as `abandoned()` holds (a search that was stopped).
bool AwaitAnswerUnless(WaitCheck check, uint16_t failAt, bool (*abandoned)());
// AwaitAnswer with the answer decoded once more from szReadBuf: false with "Timeout-RS-232..."
// stored when the tick limit passed first.
bool AwaitAnswerFrame();
// The wait for the answer due gave up after `waitedTicks`. The line is unsettled from now on: the
// next request waits until the late answer has come and been dropped, or the line has been quiet
// as long again. A late answer to a teach means the sensor took it after all: it is read back and
// the status line says the teach was answered late.
void AnswerTimedOut(uint16_t waitedTicks);

// Requests written while no call held the line, refused, since start-up.
uint64_t UnheldRequests();

// Empties the input queue, then the output queue.
void FlushQueues();
// A loop has ended: no answer is taken any more, and both queues are empty.
void ClearLine();

// ---- the receive handler -----------------------------------------------------------------------------

void RX_Receive_Function(int port, int events, void* callbackData);
void InstallRxHandler(int port);
void RemoveRxHandler(int port);
// The receive handler is on for as long as this lives, and then as it was before.
class ReceiveHandlerOn {
public:
    ReceiveHandlerOn();
    ~ReceiveHandlerOn();
    ReceiveHandlerOn(const ReceiveHandlerOn&) = delete;
    ReceiveHandlerOn& operator=(const ReceiveHandlerOn&) = delete;

private:
    bool wasOn_;
};
// The port `com` was opened afresh: nothing waits in its queues, no answer is due, and the
// receive handler is installed.
void StartOnPort(int port);

// The Data loop's line: while it lives the receive handler stays off, so that the bytes of a data
// block are never taken for an answer frame; its measurement exchanges and the exchanges lent
// between passes have the handler on for their frames.
class BlockLine {
public:
    BlockLine();
    ~BlockLine();
    BlockLine(const BlockLine&) = delete;
    BlockLine& operator=(const BlockLine&) = delete;
};

// One measurement exchange of a data pass, with pp as it is: true when it was answered.
bool MeasureOnce();

// ---- data blocks -------------------------------------------------------------------------------------

extern uint16_t adcbuf[CURVE_POINTS];
extern int ref_flag;
extern int nBytesR;

void ReadData64(int start, int selector);
void ReadData128(int start, int selector);

}  // namespace korva
