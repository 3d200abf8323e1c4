// Starts the program inside a fuzzer process once, as its entry point does up to the event loop:
// the application object on Qt's offscreen platform, both panels, the start values and COM1.
#pragma once

#include "app/App.h"
#include "shell/Shell.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace korva::fuzz {

inline void StartProgram(const std::string& com1Device)
{
    static char arg0[] = "korva-fuzz";
    static char* argv[] = {arg0, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("KORVA_COM1", com1Device.c_str(), 1);
    if (StartUp(1, argv) < 0) {
        std::fprintf(stderr, "the program did not start (is %s beside the fuzzer?)\n", PANEL_FILE);
        std::abort();
    }
}

}  // namespace korva::fuzz
