// The port to the sensor: opening and greeting it, the line check, the read-back, the port ring's
// labels, Find, and the watch over a device that goes away and comes back.
#include "link/Com232.h"

#include "rs232.h"
#include "shell/Settings.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace korva {

int com;

namespace {

constexpr long BAUD = 19200;
constexpr int QUEUE_SIZE = 4096;
constexpr double PORT_TIME_LIMIT = 2.0;

int ret;  // result of the last port open, then of the line check

}  // namespace

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

namespace {

// The port the watch looks after: the one last opened on purpose (at start-up, in the ring, or
// where Find found the sensor), 0 when that open failed; and whether its device has gone away.
// Find's probes of other ports do not change it.
int watchedPort = 0;
bool portLost = false;

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

// The port change the operator chose, run on the line with the port as its argument.
int OpenChosenPort(int, int, int, void*, int, int)
{
    CloseCom(com);
    com = CallArgument();
    RememberPort(com);
    ShowMessage("Init COM-Port ...");
    InitRS232(com);
    return 0;
}

}  // namespace

int OpenSensorPort(int port)
{
    const int opened = OpenComConfig(port, "", BAUD, 0, 8, 1, QUEUE_SIZE, QUEUE_SIZE);
    sink().PortTooltip(ComLastOpenError().c_str());
    if (opened < 0)
        return opened;
    SetComTime(port, PORT_TIME_LIMIT);
    StartOnPort(port);
    return 0;
}

void InitRS232(int port)
{
    const LineHold hold;
    ret = OpenWatchedPort(port);
    if (ret < 0)
        StoreStatus(OpenErrorText(ret));
    else
        GreetSensor(port);
    ShowStatus();
}

void ChangePort(int port)
{
    CallOnLine(OpenChosenPort, LineNeed::Loop, 0, 0, 0, port);
}

bool ReadParameters(int storageTarget)
{
    if (Ask(storageTarget == EEPROM ? ORDER_GET_EEPROM : ORDER_GET_RAM, Flush::InThenOut) == FRAMELEN)
        ShowMessage("Waiting for parameter-frame ...");
    if (!AwaitAnswerFrame())
        return false;
    CopyPPtoVars();
    StoreStatus("Parameter-frame received! - Line Ok!");
    return true;
}

namespace {

// The set-point teach waits for its answer only this many ticks (about 0.75 s).
constexpr uint16_t TEACH_TICK_LIMIT = 15;

}  // namespace

bool TeachSetPoint()
{
    Ask(ORDER_TEACH_SETPOINT, Flush::InThenOut, pp);
    ShowMessage("New setpoint value teached!");
    if (AwaitAnswer(WaitCheck::LimitFirst, TEACH_TICK_LIMIT))
        return true;
    StoreStatus("Timeout-RS-232...");
    ShowStatus();
    return false;
}

bool TeachBackground()
{
    if (Ask(ORDER_TEACH_BACKGROUND, Flush::OutThenIn) == FRAMELEN)
        ShowMessage("Line Ok!");
    const bool taught = AwaitAnswerFrame();
    if (taught)
        StoreStatus("Teach order echo received! - Line Ok!");
    ShowStatus();
    return taught;
}

void ReadBack()
{
    target = RAM;
    ReadParameters(RAM);
    sink().ParametersRead();
    ShowStatus();
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

// ---- line check -------------------------------------------------------------------------------------

namespace {

// A loopback plug or crossed lines send the request straight back: an answer that is the request
// itself is no sensor's, whatever its first word.
bool AnswerIsOwnRequest()
{
    return std::equal(szReadBuf, szReadBuf + FRAMELEN, szWriteBuf);
}

bool NeverAbandoned()
{
    return false;
}

// The line check on port com: waits at most `failAt` ticks for the answer, or until `abandoned`
// holds. True when the sensor's echo came; Answered() says whether any answer came.
bool LineCheckAnswered(uint16_t failAt, bool (*abandoned)())
{
    Ask(ORDER_LINE_CHECK, Flush::None);
    return AwaitAnswerUnless(WaitCheck::LimitFirst, failAt, abandoned) && pp[0] == ECHO_WORD &&
           !AnswerIsOwnRequest();
}

}  // namespace

// The line check goes to port com, which start-up and a change of port have just opened.
int CheckComLine(int)
{
    const int result = LineCheckAnswered(TICK_LIMIT + 1, NeverAbandoned) ? 1 : 0;
    if (!Answered())
        StoreStatus("Timeout-RS-232...");
    else
        StoreStatus(result == 1 ? "Echo Check - Line Ok!" : "read error - not sync byte 0xAA!");
    ShowStatus();
    return result;
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
        sink().FindSearching(true);
    }
    ~Search()
    {
        finding = false;
        sink().FindSearching(false);
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

void FindSensor()
{
    const Search search;
    const int before = com;
    CloseCom(com);
    int tried = 0;
    const int found = SearchPorts(tried);
    if (found == 0) {
        ReturnToPort(before);
        ShowMessage(("No sensor found on " + std::to_string(tried) + (tried == 1 ? " port" : " ports")).c_str());
        return;
    }
    watchedPort = found;
    portLost = false;
    sink().PortFound(found);
    RememberPort(found);
    ReadBack();
    ShowMessage(("Sensor found on " + PortAndDevice(found)).c_str());
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

}  // namespace korva
