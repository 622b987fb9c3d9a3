#include "reports/StepPlot.h"

#include <cmath>
#include <cstdio>

namespace {

// Points a controller's line keeps: many more than the plot's width shows. A longer song
// keeps every other point, then every fourth, and so on, so that memory stays bounded.
constexpr std::size_t kMostPoints = 8192;
constexpr double kWidth = 900, kHeight = 340;
constexpr double kLeft = 56, kRight = 20, kTop = 40, kBottom = 44;
const char* const kColours[] = {"#d9480f", "#1971c2", "#2f9e44", "#9c36b5", "#e67700"};

std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c, d);
    return text;
}

// Keeps <, > and & of a plug-in's name out of the markup.
std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else
            out += c;
    }
    return out;
}

} // namespace

void StepPlot::add(const std::vector<ReceivedEvent>& events) {
    for (const ReceivedEvent& e : events) {
        if ((e.data[0] & 0xF0) != 0xB0) continue;
        // One line per controller, from the lowest channel that sends Control Changes (the 16
        // channels of a step carry the same value).
        const int from = e.data[0] & 0x0F;
        if (from < channel) {
            channel = from;
            series.clear();
        }
        if (from != channel) continue;
        Series& line = series[e.data[1]];
        if (line.skipped++ % line.stride != 0) continue;
        line.points.emplace_back(static_cast<double>(e.sample) / samplesPerBeat, e.data[2]);
        if (line.points.size() < kMostPoints) continue;
        for (std::size_t i = 0; i < line.points.size() / 2; ++i)
            line.points[i] = line.points[2 * i];
        line.points.resize(line.points.size() / 2);
        line.stride *= 2;
        line.skipped = 1;
    }
}

std::string StepPlot::svg(double beats, const std::string& title) const {
    const double plotWidth = kWidth - kLeft - kRight, plotHeight = kHeight - kTop - kBottom;
    auto x = [&](double beat) { return kLeft + plotWidth * beat / (beats > 0 ? beats : 1); };
    auto y = [&](double value) { return kTop + plotHeight * (1.0 - value / 127.0); };

    std::string svg = format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" "
                             "height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\" "
                             "font-size=\"12\">\n",
                             kWidth, kHeight, kWidth, kHeight);
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + format("%.1f", kLeft) + "\" y=\"24\" font-size=\"15\">" + escaped(title) +
           "</text>\n";
    // Beats along the bottom, values 0 to 127 up the side.
    const int beatCount = static_cast<int>(std::floor(beats));
    const int labelEvery = beatCount > 32 ? (beatCount + 31) / 32 : 1;
    for (int beat = 0; beat <= beatCount; ++beat) {
        svg +=
            format("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#dee2e6\"/>\n",
                   x(beat), kTop, x(beat), kTop + plotHeight);
        if (beat % labelEvery == 0)
            svg += format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%.0f</text>\n",
                          x(beat), kTop + plotHeight + 16, beat);
    }
    for (int value : {0, 32, 64, 96, 127}) {
        svg +=
            format("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#dee2e6\"/>\n",
                   kLeft, y(value), kLeft + plotWidth, y(value));
        svg += format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%.0f</text>\n", kLeft - 6,
                      y(value) + 4, value);
    }
    svg += format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">beats</text>\n",
                  kLeft + plotWidth / 2, kHeight - 8);

    int colour = 0;
    for (const auto& [controller, line] : series) {
        const auto& points = line.points;
        std::string drawn;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double end = i + 1 < points.size() ? points[i + 1].first : beats;
            drawn += format("%.2f,%.2f %.2f,%.2f ", x(points[i].first), y(points[i].second), x(end),
                            y(points[i].second));
        }
        const char* stroke = kColours[colour++ % (sizeof kColours / sizeof kColours[0])];
        svg += "<polyline fill=\"none\" stroke-width=\"2\" stroke=\"" + std::string(stroke) +
               "\" points=\"" + drawn + "\"/>\n";
        svg += format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\"", kLeft + plotWidth,
                      kTop - 20.0 + 14.0 * (colour - 1)) +
               " fill=\"" + stroke + "\">CC " + std::to_string(controller) + " (channel " +
               std::to_string(channel + 1) + ")</text>\n";
    }
    svg += "</svg>\n";
    return svg;
}
