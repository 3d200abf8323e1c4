// The device link: port, receive handler, packet copies, frames, line check and data blocks.
#include "link/Com232.h"

#include "rs232.h"
#include "shell/Settings.h"
#include "shell/Shell.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

namespace korva {

uint16_t power, pwrMode, vThd, bVal, polarity, eMode, eBeg, eEnd, tVal, tTol, iGain, ePoti, ccdMode, pStart,
    bMode, para15;
uint16_t pp[PNUM];
void (*readBack)(int storageTarget) = nullptr;
int com;
int rx_flag;
int graphrefresh;
int awaitedOrder;
uint64_t strayFrames;
int sync;
int order;
unsigned char szWriteBuf[BUFSIZE];
unsigned char szReadBuf[BUFSIZE];
uint16_t adcbuf[CURVE_POINTS];
int ref_flag;
int nBytesR;

namespace {

constexpr long BAUD = 19200;
constexpr int QUEUE_SIZE = 4096;
constexpr double PORT_TIME_LIMIT = 2.0;
constexpr int eventMask = COM_EVENT_NOTIFY | COM_EVENT_TX_EMPTY | COM_EVENT_CHAR;

int ret;      // result of the last port open, then of the line check
int nBytesW;  // count of the last frame written: read by nothing, kept for a debugger to see

// The variables behind the words of the parameter packet, in packet order.
uint16_t* const packetVariables[PNUM] = {&power, &pwrMode, &vThd,    &bVal,  &polarity, &eMode, &eBeg,  &eEnd,
                                         &tVal,  &tTol,    &iGain,   &ePoti, &ccdMode,  &pStart, &bMode, &para15};

const char* OpenErrorText(int code)
{
    switch (code) {
    case COM_ERR_SYSTEM:
        return "Unknown system error";
    case COM_ERR_PORT_NUMBER:
        return "Invalid port number";
    case COM_ERR_NOT_OPEN:
        return "Port is not open";
    case COM_ERR_IO:
        return "Unknown I/0 error";  // the text operators know, with a zero
    case COM_ERR_NO_PORT:
        return "No serial port found";
    case COM_ERR_CANNOT_OPEN:
        return "Cannot open port";
    case COM_ERR_TIMEOUT:
        return "Timeout";
    default:
        return "RS-232 error!";
    }
}

void PutWord(unsigned char* at, uint16_t word)
{
    at[0] = static_cast<unsigned char>(word >> 8);
    at[1] = static_cast<unsigned char>(word & 0xFF);
}

uint16_t TakeWord(const unsigned char* at)
{
    return static_cast<uint16_t>(at[0] * 256 + at[1]);
}

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

// The read-back of the sensor's RAM after a good line check, through the hook start-up installs
// (see readBack); Send and Get go to RAM from then on.
void ReadBack()
{
    target = RAM;
    if (readBack != nullptr)
        readBack(RAM);
}

int WriteFrame()
{
    nBytesW = ComWrt(com, reinterpret_cast<const char*>(szWriteBuf), FRAMELEN);
    return nBytesW;
}

// ---- the line after a time-out ----

using Steady = std::chrono::steady_clock;
constexpr auto TICK = std::chrono::milliseconds(50);

bool rxHandlerOn = false;     // the receive handler is installed on port com
bool requestWritten = false;  // the last request reached the port: it may be answered

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

void ReadBackLateTeach(void*)
{
    ReadBackAfterLateTeach(panelHandle, 0, EVENT_COMMIT, nullptr, 0, 0);
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
    FlushOutQ(com);
    FlushInQ(com);
    SendFrame(ORDER_DATA_BLOCK, words);
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
        adcbuf[start + i] = TakeWord(szReadBuf + 2 * i);
    ShowStatus();
}

}  // namespace

// ---- frames -----------------------------------------------------------------------------------------

void FillTxBuf(uint16_t orderCode, const uint16_t* words)
{
    PutWord(szWriteBuf, static_cast<uint16_t>(sync));
    PutWord(szWriteBuf + 2, orderCode);
    for (int i = 0; i < PNUM; ++i)
        PutWord(szWriteBuf + 4 + 2 * i, words[i]);
}

// The four header bytes carry nothing the program uses.
void GetRxBuf(int count)
{
    const int words = std::clamp(count, 0, PNUM);
    for (int i = 0; i < words; ++i)
        pp[i] = TakeWord(szReadBuf + 4 + 2 * i);
}

void PackVariables(uint16_t* packet)
{
    for (int i = 0; i < PNUM; ++i)
        packet[i] = *packetVariables[i];
}

void UnpackVariables(const uint16_t* packet)
{
    for (int i = 0; i < PNUM; ++i)
        *packetVariables[i] = packet[i];
}

void CopyVarsToPP()
{
    PackVariables(pp);
}

void CopyPPtoVars()
{
    UnpackVariables(pp);
}

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

bool AnswerDue()
{
    return awaitedOrder != 0;
}

int SendParameters(uint16_t orderCode)
{
    CopyVarsToPP();
    return SendFrame(orderCode, pp);
}

// ---- port -------------------------------------------------------------------------------------------

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

namespace {

// The port the watch looks after: the one last opened on purpose (at start-up, in the ring, or
// where Find found the sensor), 0 when that open failed; and whether its device has gone away.
// Find's probes of other ports do not change it.
int watchedPort = 0;
bool portLost = false;

// Opens a port for the sensor: 19200 baud 8N1, no handshake, empty queues, the receive handler.
// Returns 0 or the negative error code of the open; the operating system's reason becomes the
// status line's tooltip, for an operator who wonders why the port won't open.
int OpenSensorPort(int port)
{
    const int opened = OpenComConfig(port, "", BAUD, 0, 8, 1, QUEUE_SIZE, QUEUE_SIZE);
    SetCtrlAttribute(panelHandle, PANEL_STATUS, ATTR_TOOLTIP, ComLastOpenError().c_str());
    if (opened < 0)
        return opened;
    SetComTime(port, PORT_TIME_LIMIT);
    FlushInQ(port);
    FlushOutQ(port);
    SetCTSMode(port, 0);
    InstallRxHandler(port);
    return 0;
}

// Opens the sensor's port on purpose, as the one the watch looks after. When that is the watched
// port and its device is away, the watch goes on waiting for it.
int OpenWatchedPort(int port)
{
    const int opened = OpenSensorPort(port);
    if (opened >= 0 || port != watchedPort) {
        watchedPort = opened >= 0 ? port : 0;
        portLost = false;
    } else {
        portLost = true;
    }
    return opened;
}

// The line check on the port just opened and, when it passes, the read-back.
void GreetSensor(int port)
{
    ret = CheckComLine(port);
    if (ret == 1)
        ReadBack();
}

}  // namespace

void InitRS232(int port)
{
    const LineHold hold;
    awaitedOrder = 0;
    ret = OpenWatchedPort(port);
    if (ret < 0)
        StoreStatus(OpenErrorText(ret));
    else
        GreetSensor(port);
    ShowStatus();
}

namespace {

// Ends a running loop as the evaluation-mode ring does; the port is changed once the loop has
// finished the exchange it has under way.
void EndLoopForPortChange()
{
    stop_flag = 1;
    DimCommandButtons(0);
    Dim(panelPopUp, POPUP_BTNTEACHBACKGROUND, 0);
}

}  // namespace

// One reopen per operator choice: a ring change raises a value change and a commit, and choosing
// the same port again (to reopen it after a pulled cable) raises the commit alone.
int CC_DropDCom(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (LoopRunning())
        EndLoopForPortChange();
    if (WaitForLine(CC_DropDCom, panel, control, event, LineNeed::Loop))
        return 0;
    CloseCom(com);
    GetCtrlVal(panel, control, &com);
    RememberPort(com);
    ShowMessage("Init COM-Port ...");
    InitRS232(com);
    return 0;
}

// ---- port ring labels ---------------------------------------------------------------------------------

namespace {

// A device as the operator knows it: "ttyUSB0" for /dev/ttyUSB0, "pts/4", "COM5".
std::string ShortDevice(const std::string& device)
{
    constexpr std::string_view devFolder = "/dev/";
    if (device.starts_with("sim:"))
        return "simulated sensor";
    return device.starts_with(devFolder) ? device.substr(devFolder.size()) : device;
}

std::string PortName(int port)
{
    return "COM" + std::to_string(port);
}

// "COM5 (ttyUSB0)"; "COM5" alone where the device is named so (Windows).
std::string PortAndDevice(int port)
{
    const std::string device = ShortDevice(ComDeviceName(port));
    return device == PortName(port) ? device : PortName(port) + " (" + device + ")";
}

}  // namespace

std::string ComPortLabel(int port)
{
    const ComPortDetails details = ComPortInfo(port);
    if (!details.present)
        return PortName(port) + " \u2014 absent";
    std::string label = PortName(port) + " \u2014 ";
    std::string separator;
    for (const std::string& part : {ShortDevice(details.device), details.description, details.manufacturer, details.usbId}) {
        if (part.empty() || part == PortName(port))
            continue;
        label += separator + part;
        separator = " \u00b7 ";
    }
    return separator.empty() ? label + "present" : label;
}

void LabelComPorts()
{
    SetRingLabeler(panelHandle, PANEL_DROPDCOM, ComPortLabel);
}

// ---- line check -------------------------------------------------------------------------------------

namespace {

// A loopback plug or crossed lines send the request straight back: an answer that is the request
// itself is no sensor's, whatever its first word.
bool AnswerIsOwnRequest()
{
    return std::equal(szReadBuf, szReadBuf + FRAMELEN, szWriteBuf);
}

// AwaitAnswer that also gives up as soon as `abandoned` holds (Find stopped).
template <class Abandoned>
bool AwaitAnswerUnless(WaitCheck check, uint16_t failAt, Abandoned abandoned)
{
    const bool answered =
        WaitForSensor([&] { return rx_flag == 1 || abandoned(); }, check, failAt) && rx_flag == 1;
    if (!answered)
        AnswerTimedOut(failAt);
    return answered;
}

bool NeverAbandoned()
{
    return false;
}

// The line check on port com: waits at most `failAt` ticks for the answer, or until `abandoned`
// holds. True when the sensor's echo came; rx_flag says whether any answer came.
template <class Abandoned>
bool LineCheckAnswered(uint16_t failAt, Abandoned abandoned)
{
    SendParameters(ORDER_LINE_CHECK);
    rx_flag = 0;
    return AwaitAnswerUnless(WaitCheck::LimitFirst, failAt, abandoned) && pp[0] == ECHO_WORD &&
           !AnswerIsOwnRequest();
}

}  // namespace

// The line check goes to port com, which start-up and a change of port have just opened.
int CheckComLine(int)
{
    const int result = LineCheckAnswered(TICK_LIMIT + 1, NeverAbandoned) ? 1 : 0;
    if (rx_flag == 0)
        StoreStatus("Timeout-RS-232...");
    else
        StoreStatus(result == 1 ? "Echo Check - Line Ok!" : "read error - not sync byte 0xAA!");
    ShowStatus();
    return result;
}

void AnswerTimedOut(uint16_t waitedTicks)
{
    LineUnsettled(static_cast<uint16_t>(awaitedOrder), waitedTicks, FRAMELEN);
    awaitedOrder = 0;
}

bool AwaitAnswer(WaitCheck check, uint16_t failAt)
{
    return AwaitAnswerUnless(check, failAt, NeverAbandoned);
}

bool AwaitAnswerFrame()
{
    rx_flag = 0;
    if (!AwaitAnswer(WaitCheck::AnswerFirst)) {
        StoreStatus("Timeout-RS-232...");
        return false;
    }
    // Decoded once more from szReadBuf, as the receive handler left it.
    GetRxBuf(PNUM);
    return true;
}

// Runs as a command that waits for the line: the teach is over by then, and a loop may hold it.
int ReadBackAfterLateTeach(int panel, int control, int event, void*, int, int)
{
    if (WaitForLine(ReadBackAfterLateTeach, panel, control, event, LineNeed::Exchange))
        return 0;
    const LineHold hold;
    if (readBack != nullptr)
        readBack(RAM);
    if (rx_flag == 1)
        ShowMessage("Teach answered late - check the teach value");
    return 0;
}

// ---- find sensor --------------------------------------------------------------------------------------

namespace {

// The line check of Find waits this many ticks (about 300 ms) for the echo: on the wire it takes
// 37.5 ms.
constexpr uint16_t FIND_TICK_LIMIT = 6;

bool finding = false;
bool findStopped = false;

// The search under way: the button says so, dimmed.
class Search {
public:
    Search()
    {
        finding = true;
        findStopped = false;
        SetCtrlAttribute(panelHandle, PANEL_BTNFIND, ATTR_LABEL_TEXT, "Finding...");
    }
    ~Search()
    {
        finding = false;
        SetCtrlAttribute(panelHandle, PANEL_BTNFIND, ATTR_LABEL_TEXT, "Find");
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;

private:
    FindDimmed dimmed_;
};

// Opens the port and sends it the line check; true when the sensor's echo came back. The port is
// left open either way. Stop ends the wait at once.
bool AnswersLineCheck(int port)
{
    com = port;
    if (OpenSensorPort(port) < 0)
        return false;
    return LineCheckAnswered(FIND_TICK_LIMIT, [] { return findStopped; });
}

// The first present port, from COM1 up, whose device answers the line check; 0 when none does or
// Stop was pressed. Counts the ports tried.
int SearchPorts(int& tried)
{
    for (int port = 1; port <= COM_PORT_COUNT && !findStopped; ++port) {
        if (!ComPortPresent(port))
            continue;
        ++tried;
        ShowMessage(("Looking for the sensor on " + PortAndDevice(port) + " ...").c_str());
        if (AnswersLineCheck(port))
            return port;
        CloseCom(port);
    }
    return 0;
}

// Nothing found: the port chosen before is open again, as it was. A watched port whose device is
// away, or went away during the search, is left to the watch, which greets it once it is back.
void ReturnToPort(int port)
{
    com = port;
    if (port == watchedPort && portLost)
        return;
    if (OpenSensorPort(port) < 0 && port == watchedPort)
        portLost = true;
}

}  // namespace

int CC_BTNFind(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || WaitForLine(CC_BTNFind, panel, control, event, LineNeed::Loop))
        return 0;
    const LineHold hold;
    const Search search;
    const int before = com;
    CloseCom(com);
    int tried = 0;
    const int found = SearchPorts(tried);
    if (found == 0) {
        ReturnToPort(before);
        ShowMessage(("No sensor found on " + std::to_string(tried) + (tried == 1 ? " port" : " ports")).c_str());
        return 0;
    }
    watchedPort = found;
    portLost = false;
    SetCtrlVal(panelHandle, PANEL_DROPDCOM, found);
    RememberPort(found);
    ReadBack();
    ShowMessage(("Sensor found on " + PortAndDevice(found)).c_str());
    return 0;
}

void StopFind()
{
    if (finding)
        findStopped = true;
}

// ---- the device going and coming back ------------------------------------------------------------------

namespace {

constexpr int WATCH_MS = 500;

void PortWentAway()
{
    CloseCom(com);
    portLost = true;
    ShowMessage(DisconnectedText().c_str());
}

// The device is back: reopened and greeted as after a change of port. A device that is there but
// cannot be opened yet (its permissions still being set up) is tried again at the next look.
void PortCameBack()
{
    const LineHold hold;
    if (OpenSensorPort(com) < 0)
        return;
    portLost = false;
    GreetSensor(com);
    if (ret == 1)
        ShowMessage(("Sensor back on " + PortName(com) + " - Line Ok!").c_str());
    else
        ShowStatus();
}

// Looks at the watched port twice a second, while it is the port in use. While a loop or command
// has the line it looks no further: a loop finds out by its time-out, and the port is dealt with
// once the line is free.
void WatchPort(void*)
{
    PostDeferredCall(WatchPort, nullptr, WATCH_MS);
    if (!LineFree() || watchedPort == 0 || watchedPort != com)
        return;
    if (!portLost && (!ComPortOpen(com) || !ComPortPresent(com)))
        PortWentAway();
    else if (portLost && ComPortPresent(com))
        PortCameBack();
}

}  // namespace

void WatchComPort()
{
    PostDeferredCall(WatchPort, nullptr, WATCH_MS);
}

std::string DisconnectedText()
{
    return "Sensor disconnected from " + PortName(com) + " - waiting for it to return";
}

std::string WriteFailureText(int written)
{
    if (portLost && watchedPort == com)
        return DisconnectedText();
    return written < 0 ? OpenErrorText(written) : "";
}

// Only the answer to a measurement order is a record to draw.
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
}

// ---- data blocks ------------------------------------------------------------------------------------

void ReadData64(int start, int selector)
{
    ReadDataBlock(block64, start, selector);
}

void ReadData128(int start, int selector)
{
    ReadDataBlock(block128, start, selector);
}

}  // namespace korva
