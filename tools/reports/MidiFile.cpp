#include "reports/MidiFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int kMaxDivision = 0x7FFF; // ticks per quarter note: 15 bits
constexpr long kTrackLengthAt = 18;  // after the header chunk and the track's tag

void putVariableLength(std::vector<unsigned char>& out, std::uint32_t value) {
    unsigned char bytes[5];
    int count = 0;
    do {
        bytes[count++] = static_cast<unsigned char>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count-- > 0)
        out.push_back(static_cast<unsigned char>(bytes[count] | (count ? 0x80 : 0)));
}

void putBigEndian(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>((value >> shift) & 0xFF));
}

// Bytes of a channel message by its status: two data bytes, or one for program change and
// channel pressure.
int messageLength(unsigned char status) {
    const int kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

} // namespace

MidiFileWriter::MidiFileWriter(OutputFile& to, double tempo, double sampleRate,
                               const std::string& trackName)
    : file(to) {
    const double samplesPerBeat = sampleRate * 60.0 / tempo;
    int division = 960;
    samplesPerTick = samplesPerBeat / division;
    const double wholeBeat = std::round(samplesPerBeat);
    if (std::fabs(samplesPerBeat - wholeBeat) < 1e-9 && wholeBeat >= 1.0) {
        const auto beat = static_cast<long long>(wholeBeat);
        for (long long k = 1; k <= beat; ++k) {
            if (beat % k == 0 && beat / k <= kMaxDivision) {
                division = static_cast<int>(beat / k);
                samplesPerTick = static_cast<double>(k);
                break;
            }
        }
    }

    std::vector<unsigned char> head{'M', 'T', 'h', 'd'};
    putBigEndian(head, 6, 4);
    putBigEndian(head, 0, 2); // format 0: one track
    putBigEndian(head, 1, 2);
    putBigEndian(head, static_cast<std::uint32_t>(division), 2);
    head.insert(head.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0}); // the length, known at the end
    // Tempo, time signature 4/4 and the track's name, at tick 0.
    const auto microsPerBeat = static_cast<std::uint32_t>(std::llround(60000000.0 / tempo));
    std::vector<unsigned char> track{0x00, 0xFF, 0x51, 0x03};
    putBigEndian(track, microsPerBeat, 3);
    track.insert(track.end(), {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});
    track.insert(track.end(), {0x00, 0xFF, 0x03});
    putVariableLength(track, static_cast<std::uint32_t>(trackName.size()));
    track.insert(track.end(), trackName.begin(), trackName.end());
    file.write(head.data(), head.size());
    put(track);
}

void MidiFileWriter::put(const std::vector<unsigned char>& bytes) {
    file.write(bytes.data(), bytes.size());
    trackLength += bytes.size();
}

void MidiFileWriter::add(const std::vector<ReceivedEvent>& events) {
    std::vector<unsigned char> track;
    for (const ReceivedEvent& event : events) {
        if ((event.data[0] & 0x80) == 0 || event.data[0] >= 0xF0) continue; // channel messages
        const auto tick = static_cast<std::uint64_t>(
            std::llround(static_cast<double>(event.sample) / samplesPerTick));
        putVariableLength(track, static_cast<std::uint32_t>(tick - lastTick));
        lastTick = tick;
        const int length = messageLength(event.data[0]);
        track.insert(track.end(), event.data, event.data + length);
    }
    put(track);
}

void MidiFileWriter::finish() {
    put({0x00, 0xFF, 0x2F, 0x00});
    std::vector<unsigned char> length;
    putBigEndian(length, static_cast<std::uint32_t>(trackLength), 4);
    file.patch(kTrackLengthAt, length.data(), length.size());
}

bool writeMidiFile(const std::string& path, const std::vector<ReceivedEvent>& events, double tempo,
                   double sampleRate, const std::string& trackName, std::string& error) {
    OutputFile file;
    if (!file.open(path, "", error)) return false;
    MidiFileWriter writer(file, tempo, sampleRate, trackName);
    writer.add(events);
    writer.finish();
    return file.commit(error);
}
