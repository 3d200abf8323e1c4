// User-interface run-time of the program, built on Qt Widgets: panels, controls, graphs, dialogs.
//
// The program's modules that show panels (gui, popup, app) see panels and
// controls only through these functions: a panel is an integer handle, a control an
// integer identifier inside its panel (resources/KorvaTBScope11Xe.h). This
// layer is the only code that touches Qt widgets. The event loop, deferred
// calls, tickers and files are in runtime.h, included here. Everything runs on
// the one user-interface thread; callbacks are delivered only during event
// processing (RunUserInterface or ProcessSystemEvents), in the order the events
// happened. A control gets no event while its own callback is still running: the
// event waits until that callback has returned (a button whose press callback
// waits gets the commit of the same click afterwards). A control callback gets
// the data given to RegisterCtrlCallback, a panel callback null; both event data
// arguments are always 0.
#pragma once

#include "runtime.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace korva {

// Negative results of the functions below, besides those of runtime.h.
enum : int {
    UIE_NO_PANEL = -1,           // no panel with that handle
    UIE_NO_CONTROL = -2,         // no control with that identifier on the panel
    UIE_WRONG_KIND = -3,         // the control has no such value or attribute
    UIE_PANEL_NOT_FOUND = -7,    // the panel file has no panel with that resource number
    UIE_CALLBACK_NOT_FOUND = -8, // the panel file names a callback that was not registered
};

// Events delivered to control and panel callbacks.
enum : int {
    EVENT_COMMIT = 1,       // button released over the control, value entered or chosen
    EVENT_VAL_CHANGED = 2,  // the operator changed the value
    EVENT_LEFT_CLICK = 3,   // a real mouse press on the control (never from the keyboard)
    EVENT_TIMER_TICK = 4,   // a timer control fired
    EVENT_CLOSE = 5,        // panel: close box or system close command
    EVENT_GOT_FOCUS = 6,    // panel: became the active window
    EVENT_LOST_FOCUS = 7,   // panel: stopped being the active window
};

// (panel, control, event, callback data, event data 1, event data 2)
using CtrlCallback = int (*)(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
// (panel, event, callback data, event data 1, event data 2)
using PanelCallback = int (*)(int panel, int event, void* callbackData, int eventData1, int eventData2);

// ---- start-up, panels ---------------------------------------------------------------------------

// Creates the application object with its windows and the panels' font. Returns 1 on success, 0
// when no user interface can be started (no display, or InitRunTime made an application object
// without one).
int InitUserInterface(int argc, char** argv);

// Makes a callback known by the name the panel file gives it in a control's "callback" property
// (or the panel's). Call before LoadPanel. A control callback is called with `callbackData`; a
// control keeps the callback and data registered under its name when its panel was loaded.
void RegisterCtrlCallback(const char* name, CtrlCallback callback, void* callbackData = nullptr);
void RegisterPanelCallback(const char* name, PanelCallback callback);

// Loads panel `resourceId` of the panel file `fileName`. A relative file name is looked up beside
// the executable. parentPanel 0 loads a top-level panel; otherwise the panel is a child panel of
// parentPanel. Returns the panel handle (> 0) or a negative number when the file, the panel or a
// callback it names is missing. Panels are created hidden.
int LoadPanel(int parentPanel, const char* fileName, int resourceId);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);

// From now on SIGTERM, SIGINT and SIGHUP raise the close event of `panel` during event processing,
// as its close box does, instead of ending the process on the spot; the program then shuts down in
// its own way. `panel` 0, before the panel exists: they end the event loop (QuitUserInterface
// with 0), so a program killed during its start-up never enters it. Called again, the panel
// changes. (On systems without these signals it does nothing.) Returns 0 or a negative number.
// Built on OnQuitSignals (runtime.h), which a later call of either replaces.
int CloseOnQuitSignals(int panel);

// The size and position of a top-level panel (a window), remembered under `key` in the settings
// store (settings.h). Restoring, before the panel is first shown, places it inside the free area of
// the screen it was on (without the task bar); a rectangle that no longer fits (a smaller or
// missing screen) is moved and, if need be, shrunk into it, never below what the panel's layout
// needs. Saving takes the window's normal size and position, also when it is maximised or
// minimised. False when nothing was restored or saved (unknown panel, store off, nothing usable
// remembered).
bool RestorePanelGeometry(int panel, const char* key);
bool SavePanelGeometry(int panel, const char* key);

// ---- control values -----------------------------------------------------------------------------

// Numbers for every numeric kind (numerics, displays, slides, rings, radio buttons, switches,
// lamps); texts for text messages, the status line and button captions. Setting a value from the
// program never runs a callback. Return 0, or a negative number for an unknown panel or control.
// A ring holds item values; set to a value that none of its items has, it shows and keeps that
// value as an extra item labelled with the number, until it holds one of its own values again.
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, const char* text);
int GetCtrlVal(int panel, int control, unsigned short* value);
int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, std::string* text);

// ---- control attributes ------------------------------------------------------------------------

enum : int {
    ATTR_DIMMED = 1,           // int 0/1: a dimmed control shows its value, takes no input, raises no events
    ATTR_VISIBLE = 2,          // int 0/1
    ATTR_ENABLED = 3,          // int 0/1, timer controls: ticking or not
    ATTR_TEXT_COLOR = 4,       // int 0xRRGGBB
    ATTR_TEXT_BGCOLOR = 5,     // int 0xRRGGBB
    ATTR_TEXT_POINT_SIZE = 6,  // int: text size in pixels, the unit of the panel positions
    ATTR_TEXT_FONT = 7,        // text: a font family, or VAL_APP_FONT
    ATTR_TOOLTIP = 8,          // text
    ATTR_LABEL_TEXT = 9,       // text: caption of a button or label of a control
    ATTR_LEFT = 10,            // int: pixels from the panel's left edge to the control's
    ATTR_WIDTH = 11,           // int, read only: the control's width in pixels, as laid out now
};
// The toolkit's standard application font.
inline constexpr const char* VAL_APP_FONT = "";

int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* text);
int GetCtrlAttribute(int panel, int control, int attribute, int* value);
// Text attributes; only ATTR_TOOLTIP can be read.
int GetCtrlAttribute(int panel, int control, int attribute, std::string* text);

// Relabels the item of a ring whose value is `value`.
int SetRingItemLabel(int panel, int control, int value, const char* label);
// Names an item of a ring after its value.
using RingLabeler = std::string (*)(int value);
// Labels every item of a ring with `labeler` now, and again each time the ring's list opens, so a
// ring of things that come and go (serial ports) shows them as they are.
int SetRingLabeler(int panel, int control, RingLabeler labeler);

// Control kinds that can be created at run time.
enum : int { CTRL_TEXT_MSG = 1 };
// Creates a control on `panel` at (top, left) pixels from the panel's top-left corner, above the
// panel's other controls and sized to its text. Only label-less text messages (label "") are
// supported. Returns its control identifier (1000 and up) or a negative number.
int NewCtrl(int panel, int kind, const char* label, int top, int left);

// ---- graphs ---------------------------------------------------------------------------------------

enum : int { VAL_XAXIS = 0, VAL_LEFT_YAXIS = 1 };
enum : int { VAL_MANUAL = 0 };
// Fixed range of one axis.
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);

enum : int { VAL_ALL_OBJECTS = -1 };
enum : int { VAL_DELAYED_DRAW = 0, VAL_IMMEDIATE_DRAW = 1 };
// Removes all plots (curves and rectangles) of a graph; cursors stay. plotHandle must be
// VAL_ALL_OBJECTS. Immediate draw repaints at the next event processing, delayed draw lets the
// graph's repaint pacing (at most about 60 per second) pick it up.
int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh);

// Places cursor 1, 2 or 3 at (x, y).
int SetGraphCursor(int panel, int control, int cursor, double x, double y);

// Adds a rectangle given by two opposite corners. Returns a plot handle (> 0) or a negative number.
int PlotRectangle(int panel, int control, double x1, double y1, double x2, double y2, int frameColor,
                  int fillColor);

// Plot styles of PlotXY.
enum : int { PLOT_STYLE_CONNECTED_POINTS = 5 };
enum : int { POINT_STYLE_SMALL_DOT = 10 };
enum : int { LINE_STYLE_SOLID = 0 };
// Adds an x-y curve of n points. Returns a plot handle (> 0) or a negative number.
int PlotXY(int panel, int control, const uint16_t* x, const uint16_t* y, size_t n, int plotStyle,
           int pointStyle, int lineStyle, int pointFrequency, int color);
// Adds a plain solid line through n points given as real numbers. Returns a plot handle (> 0) or
// a negative number.
int PlotXY(int panel, int control, const double* x, const double* y, size_t n, int color);

// ---- files --------------------------------------------------------------------------------------

enum : int { VAL_OK_BUTTON = 1, VAL_LOAD_BUTTON = 2, VAL_SAVE_BUTTON = 3 };
using FileChosenCallback = void (*)(const std::string& path);
// Opens the file-selection dialog, window-modal over `panel` (a panel handle), and returns at once:
// the program's loops go on while the dialog is open, and neither it nor its messages wait in an
// event loop of their own. It starts in `directory` with `defaultName` proposed and takes only
// names with an extension `filter` names ("*.dat", or "*.png *.pdf"): a new name without one gets
// the first, a name with another one is refused with a message naming those the dialog takes.
// Names containing '"' and existing files that are not regular files (FIFOs, devices, sockets;
// checked without opening them) are refused too; after a refusal the dialog stays open.
// buttonLabel VAL_OK_BUTTON: button "OK", a new name or an existing file, which is then replaced
// without asking; VAL_SAVE_BUTTON: button "Save", the same, but it asks before an existing file is
// replaced; VAL_LOAD_BUTTON: button "Load", existing files only. Cancel and creating folders are
// always offered. `chosen` is called once, during event processing, with the full path of the
// file chosen, or with "" when the dialog was cancelled or closed (at once, without a dialog, for
// any other buttonLabel). For an unknown panel handle the dialog has no parent.
void FileSelectPopupThen(int panel, const std::string& directory, const char* defaultName, const char* filter,
                         const char* title, int buttonLabel, FileChosenCallback chosen);

// ---- saving what a graph shows ------------------------------------------------------------------
//
// A right click on a graph opens a menu: "Save image...", "Copy image" and "Save data as CSV...".
// The menu and its save dialogs never wait in an event loop of their own, so a command's polling
// loop keeps running while they are open. While a save dialog is open the graph keeps showing the
// picture of the moment the save was chosen, and that picture (or the table of that moment) is
// what gets saved. Default names are korva-<name>-<yyyyMMdd>-<HHmmss>.png (or .csv), where
// <name> is the graph's "exportName" property in the panel file, else its object name in lower
// case. The save dialogs are the file-selection dialog described above: an image dialog takes
// only names ending in .png or .pdf, a table dialog only .csv, and an existing file is replaced
// without asking. A file that cannot be written is reported in a small message box "Cannot save
// <path>".

// Folder the save dialogs start in; until set (or when set to ""), the user's home folder.
void SetExportFolder(const std::string& folder);

// Gives the graph the table of what it shows: a header line (without line end) and rows x columns
// numbers, row by row. Replaces the previous table; once the graph has held a table of this size
// no memory is allocated, so it can be called with every record. rows 0 removes the table, which
// disables "Save data as CSV...". Returns 0 or a negative number.
int SetGraphTable(int panel, int control, const char* header, const double* values, int rows, int columns);

// Saves the graph as it is drawn, at its size: a PNG image for a path ending in .png, a PDF
// (vector) document for .pdf; any other extension is refused with UIE_BAD_ARGUMENT and nothing
// is written. Like ArrayToFile, a failed write leaves no file and any old one as it was. Returns 0
// or a negative number.
int SaveGraphImage(int panel, int control, const std::string& path);

// Saves the graph's table as CSV: the header line, then one line per row with the numbers
// separated by commas, whole numbers without decimals. UIE_WRONG_KIND for a graph without a
// table; a failed write leaves no file and any old one as it was. Returns 0 or a negative number.
int SaveGraphTable(int panel, int control, const std::string& path);

}  // namespace korva
