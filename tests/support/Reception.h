// What the receive callbacks of a serial-port test saw: the events of every call, the input queue's
// length then, and whether a call came while the test was inside a blocking read.
#pragma once

#include "rs232.h"

#include <QByteArray>
#include <QList>

#include <vector>

namespace korva::test {

struct Reception {
    std::vector<int> events;   // event set of every call
    std::vector<int> waiting;  // input queue length at every call
    QList<QByteArray> frames;  // frames read by a frame-reading callback
    int depth = 0;
    int maxDepth = 0;
    bool insideRead = false;  // the test is inside ComRd
    bool calledInsideRead = false;
};

inline Reception& ReceptionOf(void* data)
{
    return *static_cast<Reception*>(data);
}

// A receive callback that notes each call in the Reception its data points to.
inline void RecordEvents(int port, int events, void* data)
{
    Reception& r = ReceptionOf(data);
    r.events.push_back(events);
    r.waiting.push_back(GetInQLen(port));
    r.calledInsideRead = r.calledInsideRead || r.insideRead;
}

// Notes the call and closes its own port.
inline void CloseOnEvent(int port, int events, void* data)
{
    RecordEvents(port, events, data);
    CloseCom(port);
}

}  // namespace korva::test
