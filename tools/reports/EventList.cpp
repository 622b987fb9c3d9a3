#include "reports/EventList.h"

#include <cstdio>

void EventList::line(const ReceivedEvent& event, bool in) {
    char row[64];
    const int length = std::snprintf(
        row, sizeof row, "%llu %s %02X %02X %02X\n", static_cast<unsigned long long>(event.sample),
        in ? "in" : "out", event.data[0], event.data[1], event.data[2]);
    file.write(row, static_cast<std::size_t>(length));
}

void EventList::fromPlugin(const ReceivedEvent& event) {
    for (; !waiting.empty() && waiting.front().sample <= event.sample; waiting.pop_front())
        line(waiting.front(), true);
    line(event, false);
}

void EventList::finish() {
    for (; !waiting.empty(); waiting.pop_front())
        line(waiting.front(), true);
}
