// Draws the controller values a plug-in sent as an SVG step plot over beats.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "run/EventRing.h"

// Fed as the song plays, it keeps a bounded summary of each controller's line.
class StepPlot {
  public:
    explicit StepPlot(double beatSamples) : samplesPerBeat(beatSamples) {}
    void add(const std::vector<ReceivedEvent>& events);
    // The plot of a song of `beats` beats.
    std::string svg(double beats, const std::string& title) const;

  private:
    struct Series {
        std::vector<std::pair<double, int>> points; // (beat, value)
        std::size_t stride = 1, skipped = 0;        // one point kept in `stride`
    };
    double samplesPerBeat;
    int channel = 16;
    std::map<int, Series> series; // by controller
};
