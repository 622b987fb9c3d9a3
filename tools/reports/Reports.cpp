#include "reports/Reports.h"

#include "run/Song.h"

bool Reports::open(const ReportFiles& files, const std::string& library, std::string& error) {
    const std::pair<const std::string&, OutputFile&> outputs[] = {{files.midi, midiFile},
                                                                  {files.svg, svgFile},
                                                                  {files.events, eventsFile},
                                                                  {files.dump, dumpFile}};
    for (const auto& [path, file] : outputs)
        if (!path.empty() && !file.open(path, library, error)) return false;
    return true;
}

void Reports::start(double tempo, double sampleRate, std::int32_t frames, const std::string& name) {
    title = name;
    blockSize = frames;
    if (midiFile.isOpen()) midi.emplace(midiFile, tempo, sampleRate, title);
    if (svgFile.isOpen()) plot.emplace(sampleRate * 60.0 / tempo);
    if (eventsFile.isOpen()) list.emplace(eventsFile);
}

void Reports::toPlugin(const ReceivedEvent& event) {
    if (list) list->toPlugin(event);
}

void Reports::fromPlugin(const std::vector<ReceivedEvent>& events) {
    if (midi) midi->add(events);
    if (plot) plot->add(events);
    const auto block = static_cast<std::uint64_t>(blockSize);
    for (const ReceivedEvent& event : events) {
        if (list) list->fromPlugin(event);
        if (dumpFile.isOpen())
            dumpFile.write(sentMessageLine(event.sample / block,
                                           static_cast<std::uint32_t>(event.sample % block),
                                           event.data));
    }
}

bool Reports::finish(double beats, std::string& error) {
    if (midi) midi->finish();
    if (plot) svgFile.write(plot->svg(beats, title));
    if (list) list->finish();
    bool all = true;
    std::string later; // the reasons after the first
    for (OutputFile* file : {&midiFile, &svgFile, &eventsFile, &dumpFile})
        if (file->isOpen() && !file->commit(all ? error : later)) all = false;
    return all;
}
