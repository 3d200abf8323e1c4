// What the program shows of the link's work goes through the sink: the status line, the Find
// button, the port ring and the Record button on the panels (gui's PanelSink), or standard error
// for a console program. Until one is installed (SetSink), nothing is shown.
#pragma once

#include <string>

namespace korva {

// Why a loop was ended, which decides what it locked becomes usable again.
enum class LoopEnd {
    Stop,     // the Stop button: the command buttons, and the background teach where its mode uses it
    Setting,  // the evaluation-mode ring or the port ring: the command buttons and the teach button
    TimeOut,  // the sensor stopped answering: what the loop locked stays locked until Stop
    Close,    // the window closes
};

class Sink {
public:
    virtual ~Sink() = default;
    // A text for the status line.
    virtual void Status(const char*) {}
    // The operating system's reason why the last port would not open ("" after an open).
    virtual void PortTooltip(const char*) {}
    // Find cannot be started now (a loop or a search runs), and again it can.
    virtual void FindDimmed(bool) {}
    // A search for the sensor runs, and has ended.
    virtual void FindSearching(bool) {}
    // Find found the sensor on `port`, which is now the port in use.
    virtual void PortFound(int) {}
    // The parameter variables have been read back from the sensor (or kept, when it did not answer).
    virtual void ParametersRead() {}
    // A Run or Data loop was ended (StopLoops): what it locked is usable again, as `why` says.
    virtual void LoopsStopped(LoopEnd) {}
    // Recording stopped on a fault, or could not start; `why` names the file and the reason.
    virtual void RecordingStopped(const std::string&) {}
};

// The sink installed, or one that shows nothing.
Sink& sink();
// Installs `installed` (null: show nothing again). The sink must live as long as it is installed.
void SetSink(Sink* installed);

}  // namespace korva
