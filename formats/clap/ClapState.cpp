// The state extension: every program's values and name and the current program, in a blob of
// our own layout, little-endian, versioned and checked:
//   "OSTR", version, program count, parameter count, current program (each 32 bits), then per
//   program its name (kNameBytes, zero-terminated) and its values (32-bit float bits), then an
//   FNV-1a checksum of everything before it.
// A blob that is short, corrupt, of a later version or for another plug-in changes nothing.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/clap/ClapPlugin.h"

namespace clap_door {

using namespace clap_abi;

namespace {

constexpr char kMagic[4] = {'O', 'S', 'T', 'R'};
constexpr std::size_t kNameBytes = 32;
constexpr std::size_t kHeaderWords = 5;
constexpr std::size_t kLargestBlob = 1 << 16; // far beyond any blob this plug-in writes

class Writer {
  public:
    void word(std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
    void raw(const void* data, std::size_t size) {
        const auto* from = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), from, from + size);
    }
    std::vector<unsigned char> bytes;
};

class Reader {
  public:
    explicit Reader(const std::vector<unsigned char>& blob) : bytes(blob) {}
    std::uint32_t word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<std::uint32_t>(bytes[at++]) << (8 * i);
        return value;
    }
    const unsigned char* raw(std::size_t size) {
        const unsigned char* data = bytes.data() + at;
        at += size;
        return data;
    }

  private:
    const std::vector<unsigned char>& bytes;
    std::size_t at = 0;
};

std::uint32_t checksum(const unsigned char* data, std::size_t size) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float floatOf(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

struct Program {
    char name[kNameBytes];
    std::vector<float> values;
};

} // namespace

bool ClapPlugin::save(const clap_ostream& stream) {
    if (!onMainThread()) return false;
    const std::int32_t programs = hosted.effect()->numPrograms;
    const std::int32_t parameters = parameterCount();
    const std::int32_t current = hosted.program();
    Writer blob;
    blob.raw(kMagic, sizeof kMagic);
    for (std::uint32_t word :
         {kStateVersion, static_cast<std::uint32_t>(programs),
          static_cast<std::uint32_t>(parameters), static_cast<std::uint32_t>(current)})
        blob.word(word);
    // The record shows a program's values only while it is the current one, and switching to
    // another would play it: the others come from the door's copy, which only it can change.
    for (std::int32_t p = 0; p < programs; ++p) {
        char name[kNameBytes] = {};
        std::snprintf(name, sizeof name, "%s", hosted.programName(p).c_str());
        blob.raw(name, sizeof name);
        for (std::int32_t i = 0; i < parameters; ++i)
            blob.word(bitsOf(p == current ? hosted.parameter(i)
                                          : storedPrograms[static_cast<std::size_t>(p)][i]));
    }
    blob.word(checksum(blob.bytes.data(), blob.bytes.size()));

    std::size_t written = 0;
    while (written < blob.bytes.size()) {
        const std::int64_t moved =
            stream.write(&stream, blob.bytes.data() + written, blob.bytes.size() - written);
        if (moved <= 0) return false;
        written += static_cast<std::size_t>(moved);
    }
    return true;
}

bool ClapPlugin::load(const clap_istream& stream) {
    if (!onMainThread()) return false;
    std::vector<unsigned char> bytes;
    unsigned char chunk[4096];
    for (;;) {
        const std::int64_t moved = stream.read(&stream, chunk, sizeof chunk);
        if (moved < 0) return false;
        if (moved == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + moved);
        if (bytes.size() > kLargestBlob) return false;
    }
    const std::size_t programs = static_cast<std::size_t>(hosted.effect()->numPrograms);
    const std::size_t parameters = facts.parameters.size();
    const std::size_t expected =
        sizeof kMagic + 4 * kHeaderWords - 4 + programs * (kNameBytes + 4 * parameters) + 4;
    if (bytes.size() < sizeof kMagic + 4 * (kHeaderWords - 1) ||
        std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return false;
    Reader blob(bytes);
    blob.raw(sizeof kMagic);
    const std::uint32_t version = blob.word();
    if (version == 0 || version > kStateVersion) return false;
    if (blob.word() != programs || blob.word() != parameters || bytes.size() != expected)
        return false;
    const std::uint32_t current = blob.word();
    if (current >= programs) return false;
    Reader tail(bytes);
    tail.raw(bytes.size() - 4);
    if (tail.word() != checksum(bytes.data(), bytes.size() - 4)) return false;

    // Everything checked before the plug-in hears of it.
    std::vector<Program> read(programs);
    for (Program& program : read) {
        std::memcpy(program.name, blob.raw(kNameBytes), kNameBytes);
        if (std::memchr(program.name, '\0', kNameBytes) == nullptr) return false;
        for (std::size_t i = 0; i < parameters; ++i) {
            const float value = floatOf(blob.word());
            if (!(value >= 0.0f && value <= 1.0f)) return false;
            program.values.push_back(value);
        }
    }
    for (std::size_t p = 0; p < programs; ++p) {
        hosted.setProgram(static_cast<std::int32_t>(p));
        for (std::size_t i = 0; i < parameters; ++i)
            hosted.setParameter(static_cast<std::int32_t>(i), read[p].values[i]);
        hosted.dispatch(effSetProgramName, 0, 0, read[p].name);
        storedPrograms[p] = read[p].values;
    }
    selectProgram(static_cast<std::int32_t>(current));
    return true;
}

void ClapPlugin::selectProgram(std::int32_t program) {
    // The one left behind keeps, in the door's copy, the values the plug-in no longer shows.
    const auto leaving = static_cast<std::size_t>(hosted.program());
    if (leaving < storedPrograms.size())
        for (std::int32_t i = 0; i < parameterCount(); ++i)
            storedPrograms[leaving][static_cast<std::size_t>(i)] = hosted.parameter(i);
    hosted.setProgram(program);
    // The host shows the values it read before: tell it they changed.
    if (hostParams != nullptr)
        hostParams->rescan(host, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
}

} // namespace clap_door
