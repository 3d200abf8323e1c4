// The program: start-up, the event loop and shutdown, the info texts and the panel callback.
#include "app/App.h"

#include "gui/Gui.h"
#include "popup/PopUp.h"
#include "rs232.h"
#include "settings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace korva {

uint16_t hidePopUp = 1;

namespace {

constexpr int INFO_BACKGROUND = 0x0080FF;
constexpr int INFO_TEXT_COLOR = 0xFFFFFF;

// Every callback of both panels, under the name the panel file gives it, with what it needs of the
// line to the sensor: a callback that talks to the sensor declares it here, and is let onto the
// line, or waits in line, before it is called (CallOnLine).
const CtrlCallbackEntry ctrlCallbacks[] = {
    {"CC_DropDCom", CC_DropDCom, LineNeed::None},  // the port change runs on the line itself
    {"CC_BTNFind", CC_BTNFind, LineNeed::Loop},
    {"CC_BTNRun", CC_BTNRun, LineNeed::Loop},
    {"CC_BTNStop", CC_BTNStop, LineNeed::None},
    {"CC_BTNData", CC_BTNData, LineNeed::Loop},
    {"CC_RBTRam", CC_RBTRam, LineNeed::None},
    {"CC_RBTEeprom", CC_RBTEeprom, LineNeed::None},
    {"CC_RBTFile", CC_RBTFile, LineNeed::None},
    {"CC_BTNSend", CC_BTNSend, LineNeed::Exchange},
    {"CC_BTNGet", CC_BTNGet, LineNeed::Exchange},
    {"CC_ButtonTeach", CC_ButtonTeach, LineNeed::Exchange},
    {"CC_BTNRecord", CC_BTNRecord, LineNeed::None},
    {"CC_DropDEvalmode", CC_DropDEvalmode, LineNeed::None},
    {"CC_BTN_CCDSettings", CC_BTN_CCDSettings, LineNeed::None},
    {"CC_NEDITVideoThreshold", CC_NEDITVideoThreshold, LineNeed::None},
    {"CC_NEDITEdgeLeft", CC_NEDITEdgeLeft, LineNeed::None},
    {"CC_NEDITEdgeRight", CC_NEDITEdgeRight, LineNeed::None},
    {"CC_NSLIDE_PixelStart", CC_NSLIDE_PixelStart, LineNeed::None},
    {"CC_RING_CCDMode", CC_RING_CCDMode, LineNeed::None},
    {"CC_RING_CCDBGMode", CC_RING_CCDBGMode, LineNeed::None},
    {"CC_BIN_Sw_EnableTol", CC_BIN_Sw_EnableTol, LineNeed::None},
    {"CC_BTNTeachBackGround", CC_BTNTeachBackGround, LineNeed::Exchange},
    {"CC_NEDITTeach", CC_NEDITTeach, LineNeed::None},
    {"CC_NEDITTolerance", CC_NEDITTolerance, LineNeed::None},
    {"CC_Slide_Power", IgnoreEvents, LineNeed::None},
    {"CC_RingPowerMode", IgnoreEvents, LineNeed::None},
    {"CC_RingPolarity", IgnoreEvents, LineNeed::None},
    {"CC_BIN_Switch_VGain", IgnoreEvents, LineNeed::None},
    {"CC_GraphData", IgnoreEvents, LineNeed::None},
    {"CC_Slide_Reference", IgnoreEvents, LineNeed::None},
    {"CC_Slide_Tolerance", IgnoreEvents, LineNeed::None},
    {"CC_NEDITTolLeff", IgnoreEvents, LineNeed::None},
};

// Every event of both panels comes here, with its entry: the callback runs on the line as the
// entry declares, with the storage target chosen at the event.
int Dispatch(int panel, int control, int event, void* entry, int, int)
{
    const CtrlCallbackEntry& e = *static_cast<const CtrlCallbackEntry*>(entry);
    return CallOnLine(e.callback, e.need, panel, control, event, target);
}

// Where the settings are kept: the maker, the program, and the key of the main window's place.
constexpr const char* SETTINGS_ORGANISATION = "Vexlund";
constexpr const char* SETTINGS_APPLICATION = "KORVA-TB Scope";
constexpr const char* MAIN_WINDOW_KEY = "window/main";

// True when `option` is among the program's arguments.
bool HasOption(int argc, char** argv, const char* option)
{
    return argc > 1 && std::any_of(argv + 1, argv + argc, [option](const char* argument) {
               return std::strcmp(argument, option) == 0;
           });
}

// --demo: COM1 is the simulated sensor inside the program (the device "sim:") unless KORVA_COM1
// names a device already. Other arguments are ignored.
void UseSimulatedSensorOnDemo(int argc, char** argv)
{
    const bool demo = HasOption(argc, argv, "--demo");
    const char* chosen = std::getenv("KORVA_COM1");
    if (!demo || (chosen != nullptr && *chosen != '\0'))
        return;
#ifdef _WIN32
    _putenv("KORVA_COM1=sim:");
#else
    setenv("KORVA_COM1", "sim:", 1);
#endif
}

// --no-settings, or KORVA_NO_SETTINGS set to anything but "" or "0": the program starts without a
// memory (COM1, the dialogs in the default folder, the window at its own size) and reads and
// writes no settings. Otherwise it opens its settings store.
void UseSettings(int argc, char** argv)
{
    const char* off = std::getenv("KORVA_NO_SETTINGS");
    if (HasOption(argc, argv, "--no-settings") || (off != nullptr && *off != '\0' && std::strcmp(off, "0") != 0))
        CloseSettings();
    else
        OpenSettings(SETTINGS_ORGANISATION, SETTINGS_APPLICATION);
}

// The port start-up greets: the one the operator chose last, while its device is there; else COM1,
// and always COM1 with --demo, whose simulated sensor is there.
int PortToGreet(bool demo)
{
    const int port = RememberedPort();
    if (demo || port == 0 || !ComPortPresent(port))
        return 1;
    return port;
}

// Where an installer put the program, which is no place for the operator's files even where an
// administrator could write: the Debian package's folder, or on Windows the folder the installer
// left its uninstaller in.
std::string PackageFolder()
{
    const std::filesystem::path folder(std::u8string(proj_dir.begin(), proj_dir.end()));
    if (std::filesystem::exists(folder / "uninstall.exe"))
        return proj_dir;
    return KORVA_PACKAGE_FOLDER;
}

// Space between two info texts side by side, in pixels.
constexpr int INFO_GAP = 4;

// A font wider than the one the positions were chosen for would run the first text into the
// second: then the second moves right, just clear of the first. Where it fits, it stays put.
void PlaceAfter(int first, int second)
{
    int left = 0;
    int width = 0;
    int secondLeft = 0;
    GetCtrlAttribute(panelHandle, first, ATTR_LEFT, &left);
    GetCtrlAttribute(panelHandle, first, ATTR_WIDTH, &width);
    GetCtrlAttribute(panelHandle, second, ATTR_LEFT, &secondLeft);
    if (left + width + INFO_GAP > secondLeft)
        SetCtrlAttribute(panelHandle, second, ATTR_LEFT, left + width + INFO_GAP);
}

// Every callback of both panels, under the name the panel file gives it.
void RegisterCallbacks()
{
    RegisterPanelCallback("CC_PANEL", CC_PANEL);
    for (const CtrlCallbackEntry& entry : ctrlCallbacks)
        RegisterCtrlCallback(entry.name, Dispatch, const_cast<CtrlCallbackEntry*>(&entry));
}

}  // namespace

// ---- start-up and shutdown --------------------------------------------------------------------------


// Everything before the main panel is first shown: run-time, panels, start values, the port and
// the greeting of the sensor. Returns 0, or -1 when the run-time or a panel cannot be had.
int StartUp(int argc, char** argv)
{
    UseSimulatedSensorOnDemo(argc, argv);
    if (InitUserInterface(argc, argv) == 0)
        return -1;
    // Logging out, systemctl or a launcher's kill end the program as closing its window does; from
    // the first moment on, so that nothing of the start-up can keep them waiting.
    CloseOnQuitSignals(0);
    RegisterCallbacks();
    panelHandle = LoadPanel(0, PANEL_FILE, PANEL);
    if (panelHandle < 0)
        return -1;
    CloseOnQuitSignals(panelHandle);
    panelPopUp = LoadPanel(panelHandle, PANEL_FILE, POPUP);
    if (panelPopUp < 0)
        return -1;
    InstallPanelSink();
    UseSettings(argc, argv);
    RestorePanelGeometry(panelHandle, MAIN_WINDOW_KEY);
    SetRingLabeler(panelHandle, PANEL_DROPDCOM, ComPortLabel);
    proj_dir = GetProjectDir();
    ChooseDefaultFolder(PackageFolder());
    SetExportFolder(ParameterFileFolder());
    InitVars();
    com = PortToGreet(HasOption(argc, argv, "--demo"));
    SetCtrlVal(panelHandle, PANEL_DROPDCOM, com);
    InitRS232(com);
    WatchComPort();
    StartRunView();  // an empty trend around the set point until the first run
    return 0;
}

int WinMain(int argc, char** argv)
{
    if (StartUp(argc, argv) < 0)
        return -1;
    DisplayPanel(panelHandle);
    RunUserInterface();
    SavePanelGeometry(panelHandle, MAIN_WINDOW_KEY);
    StopRecording();
    CloseCom(com);
    DiscardPanel(panelPopUp);
    DiscardPanel(panelHandle);
    return 0;
}

void InitVars()
{
    SetParameterStartValues();
    com = 1;
    sync = SYNC_WORD;
    order = ORDER_SEND_RAM;  // as if a Send to RAM had been built last: nothing has been sent yet
    target = RAM;
    StoreStatus("InitVars");
    ShowStatus();
    SetCtrlVal(panelPopUp, POPUP_BINSWENABLETOL, 0);
    ShowInfoText("PC-SOFTWARE: KORVA Series", 15, 8, 11);
    ShowInfoText("Vexlund GmbH", 15, 21, 11);
    ShowInfoText("Tel: +49 711 5550190", 15, 36, 11);
    const int title = ShowInfoText("KORVA-TB-Rarav", 175, 30, 18);
    PlaceAfter(title, ShowInfoText("V1.1Xe", 320, 36, 11));
    GetPanelValues();
    DrawStartUp();
}

int ShowInfoText(const char* text, int left, int top, int pointSize)
{
    const int id = NewCtrl(panelHandle, CTRL_TEXT_MSG, "", top, left);
    SetCtrlAttribute(panelHandle, id, ATTR_TEXT_FONT, VAL_APP_FONT);
    SetCtrlAttribute(panelHandle, id, ATTR_TEXT_BGCOLOR, INFO_BACKGROUND);
    SetCtrlAttribute(panelHandle, id, ATTR_TEXT_COLOR, INFO_TEXT_COLOR);
    SetCtrlAttribute(panelHandle, id, ATTR_TEXT_POINT_SIZE, pointSize);
    SetCtrlVal(panelHandle, id, text);
    return id;
}

// A close request ends the event loop; a Run or Data loop that is running ends after its current
// pass, as with Stop, and a search for the sensor at once, so the program does not stay open
// behind a closed window.
int CC_PANEL(int, int event, void*, int, int)
{
    if (event == EVENT_CLOSE) {
        StopLoops(LoopEnd::Close);
        StopFind();
        QuitUserInterface(0);
    }
    return 0;
}

int IgnoreEvents(int, int, int, void*, int, int)
{
    return 0;
}

std::span<const CtrlCallbackEntry> CtrlCallbacks()
{
    return ctrlCallbacks;
}

int RunCallback(CtrlCallback callback, int panel, int control, int event)
{
    for (const CtrlCallbackEntry& entry : ctrlCallbacks)
        if (entry.callback == callback)
            return Dispatch(panel, control, event, const_cast<CtrlCallbackEntry*>(&entry), 0, 0);
    return UIE_CALLBACK_NOT_FOUND;
}

}  // namespace korva
