// The messages of a run as a plain list for other programs to read, one line per message in
// the order of their samples: the sample, "in" for what went to the plug-in or "out" for what
// it sent, and the bytes in hexadecimal. What reached the plug-in at a sample comes before what
// it sent there.
#pragma once

#include <deque>

#include "reports/OutputFile.h"
#include "run/EventRing.h"

class EventList {
  public:
    explicit EventList(OutputFile& to) : file(to) {}
    // Each side in the order of its samples, as the run goes.
    void toPlugin(const ReceivedEvent& event) { waiting.push_back(event); }
    void fromPlugin(const ReceivedEvent& event);
    void finish();

  private:
    void line(const ReceivedEvent& event, bool in);

    OutputFile& file;
    std::deque<ReceivedEvent> waiting; // to the plug-in, not yet written
};
