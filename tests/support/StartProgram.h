// Starts the program in this process as its entry point does, up to the point where it would enter
// its event loop: the application object, both panels, the start values and COM1. Used by the
// tests, the benchmark and the fuzzers, always with --no-settings: nothing remembered by an
// operator's runs changes what they see, and they leave nothing behind.
#pragma once

#include "app/App.h"
#include "shell/Shell.h"
#include "userint.h"

#include <QByteArray>
#include <QtGlobal>

#include <string>

namespace korva::test {

enum class MainPanel { Shown, Hidden };

// COM1 is `com1Device` (by default a device that does not exist); Qt's offscreen platform is used
// unless another one is chosen. False when the panels cannot be loaded (the panel file lies beside
// the program).
inline bool StartProgram(const std::string& com1Device = "/nonexistent/korva-port",
                         MainPanel mainPanel = MainPanel::Shown)
{
    static char arg0[] = "KorvaTBScope11Xe";
    static char noSettings[] = "--no-settings";
    static char* argv[] = {arg0, noSettings, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("KORVA_COM1", QByteArray::fromStdString(com1Device));
    if (StartUp(2, argv) < 0)
        return false;
    if (mainPanel == MainPanel::Shown)
        DisplayPanel(panelHandle);
    return true;
}

}  // namespace korva::test
