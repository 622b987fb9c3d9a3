#include "reports/EventList.h"

#include <algorithm>
#include <cstdio>

#include "reports/WriteFile.h"

bool writeEventList(const std::string& path, const std::vector<ReceivedEvent>& toPlugin,
                    const std::vector<ReceivedEvent>& fromPlugin, std::string& error) {
    struct Line {
        ReceivedEvent event;
        bool in;
    };
    std::vector<Line> lines;
    for (const ReceivedEvent& e : toPlugin)
        lines.push_back({e, true});
    for (const ReceivedEvent& e : fromPlugin)
        lines.push_back({e, false});
    // What reached the plug-in at a sample comes before what it sent there.
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        return a.event.sample < b.event.sample || (a.event.sample == b.event.sample && a.in > b.in);
    });
    std::string text;
    for (const Line& line : lines) {
        char row[64];
        std::snprintf(row, sizeof row, "%llu %s %02X %02X %02X\n",
                      static_cast<unsigned long long>(line.event.sample), line.in ? "in" : "out",
                      line.event.data[0], line.event.data[1], line.event.data[2]);
        text += row;
    }
    return writeWholeFile(path, text.data(), text.size(), error);
}
