// Inside the platform layer: loading a panel from the panel file. The program's LoadPanel
// (userint.h) is defined by the platform library itself (platform.cpp), which installs the graph
// room into this one before the first panel is loaded and then calls this.
#pragma once

namespace korva::ui {

int LoadPanelFile(int parentPanel, const char* fileName, int resourceId);

}  // namespace korva::ui
