// Draws the controller values a plug-in sent as an SVG step plot over beats.
#pragma once

#include <string>
#include <vector>

#include "run/HostSession.h"

bool writeStepPlot(const std::string& path, const std::vector<ReceivedEvent>& events,
                   double samplesPerBeat, double beats, const std::string& title,
                   std::string& error);
