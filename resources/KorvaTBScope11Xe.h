// Panel and control identifiers of KorvaTBScope11Xe.ui.
//
// Every control in the panel file carries its identifier as the dynamic
// property "ctrlId" and its name (for example "PANEL_BTNRUN") as object name
// and accessible description. Keep this header and the panel file in step:
// the panel-file test checks every identifier below against the file.
#pragma once

namespace korva {

// Panel resources inside the panel file.
constexpr int PANEL = 1;  // main panel
constexpr int POPUP = 2;  // CCD-settings panel, a child of the main panel

// Main panel.
constexpr int PANEL_DROPDCOM = 2;
constexpr int PANEL_CMD3 = 3;
constexpr int PANEL_BTNGET = 3;  // Get is command button 3
constexpr int PANEL_RINGPOWERMODE = 4;
constexpr int PANEL_BTNSTOP = 5;
constexpr int PANEL_BTNSEND = 6;
constexpr int PANEL_BUTTONTEACH = 7;
constexpr int PANEL_BTNCCDSETTINGS = 8;
constexpr int PANEL_SLIDEREFERENCE = 9;
constexpr int PANEL_RBTFILE = 10;
constexpr int PANEL_RBTEEPROM = 11;
constexpr int PANEL_RBTRAM = 12;
constexpr int PANEL_RINGPOLARITY = 13;
constexpr int PANEL_CMD14 = 14;
constexpr int PANEL_BTNDATA = 14;  // Data is command button 14
constexpr int PANEL_SLIDETOLERANCE = 15;
constexpr int PANEL_CMD16 = 16;
constexpr int PANEL_BTNRUN = 16;  // Run is command button 16
constexpr int PANEL_DROPDEVALMODE = 17;
constexpr int PANEL_NEDITTOLLEFF = 18;
constexpr int PANEL_NUMVALUE = 19;
constexpr int PANEL_NUMTEACH = 20;
constexpr int PANEL_NUMTOLERANCE = 21;
constexpr int PANEL_NUMEDGE1 = 22;
constexpr int PANEL_NUMEDGE2 = 23;
constexpr int PANEL_NEDITVIDEOTHRESHOLD = 30;
constexpr int PANEL_NEDITEDGERIGHT = 31;
constexpr int PANEL_NEDITEDGELEFT = 32;
constexpr int PANEL_STATUS = 34;
constexpr int PANEL_GRAPHDATA = 35;
constexpr int PANEL_GRAPHRAW = 36;
constexpr int PANEL_SLIDEPOWER = 38;
constexpr int PANEL_LEDINPUT1 = 39;
constexpr int PANEL_LEDINPUT2 = 40;
constexpr int PANEL_BTNRECORD = 41;
constexpr int PANEL_STATS = 42;
constexpr int PANEL_GRAPHTREND = 43;
constexpr int PANEL_BTNFIND = 44;

// CCD-settings panel.
constexpr int POPUP_NSLIDEPIXELSTART = 3;
constexpr int POPUP_NUMPIXELEND = 4;
constexpr int POPUP_BTNTEACHBACKGROUND = 6;
constexpr int POPUP_BACKGROUNDVALUE = 7;
constexpr int POPUP_LEDTEACHBACKGROUND = 8;
constexpr int POPUP_BINSWENABLETOL = 9;
constexpr int POPUP_BINSWITCHVGAIN = 10;
constexpr int POPUP_RINGCCDBGMODE = 12;
constexpr int POPUP_RINGCCDMODE = 13;
constexpr int POPUP_NEDITTOLERANCE = 14;
constexpr int POPUP_NEDITTEACH = 15;

}  // namespace korva
