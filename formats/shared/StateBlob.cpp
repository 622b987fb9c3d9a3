#include "formats/shared/StateBlob.h"

#include <cstring>

namespace state_blob {

namespace {

constexpr char kMagic[4] = {'O', 'S', 'T', 'R'};
constexpr std::size_t kNameBytes = 32;
constexpr std::size_t kHeaderBytes = sizeof kMagic + 4 * 4;

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

// Reads what the caller has checked is there.
class Reader {
  public:
    Reader(const std::vector<unsigned char>& blob, std::size_t from) : bytes(blob), at(from) {}
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
    std::size_t at;
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

} // namespace

std::vector<unsigned char> encode(const State& state) {
    const std::size_t parameters = state.programs.empty() ? 0 : state.programs[0].values.size();
    Writer blob;
    blob.raw(kMagic, sizeof kMagic);
    for (std::uint32_t word : {kVersion, static_cast<std::uint32_t>(state.programs.size()),
                               static_cast<std::uint32_t>(parameters), state.current})
        blob.word(word);
    for (const Program& program : state.programs) {
        char name[kNameBytes] = {};
        std::strncpy(name, program.name.c_str(), kNameBytes - 1);
        blob.raw(name, sizeof name);
        for (std::size_t i = 0; i < parameters; ++i)
            blob.word(bitsOf(i < program.values.size() ? program.values[i] : 0.0f));
    }
    blob.word(checksum(blob.bytes.data(), blob.bytes.size()));
    return std::move(blob.bytes);
}

bool decode(const std::vector<unsigned char>& bytes, std::size_t programs, std::size_t parameters,
            State& state) {
    if (bytes.size() < kHeaderBytes || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return false;
    Reader blob(bytes, sizeof kMagic);
    const std::uint32_t version = blob.word();
    if (version == 0 || version > kVersion) return false;
    const std::size_t expected = kHeaderBytes + programs * (kNameBytes + 4 * parameters) + 4;
    if (blob.word() != programs || blob.word() != parameters || bytes.size() != expected)
        return false;
    const std::uint32_t current = blob.word();
    if (current >= programs) return false;
    if (Reader(bytes, bytes.size() - 4).word() != checksum(bytes.data(), bytes.size() - 4))
        return false;

    State read;
    read.current = current;
    read.programs.resize(programs);
    for (Program& program : read.programs) {
        const auto* name = reinterpret_cast<const char*>(blob.raw(kNameBytes));
        if (std::memchr(name, '\0', kNameBytes) == nullptr) return false;
        program.name = name;
        for (std::size_t i = 0; i < parameters; ++i) {
            const float value = floatOf(blob.word());
            if (!(value >= 0.0f && value <= 1.0f)) return false;
            program.values.push_back(value);
        }
    }
    state = std::move(read);
    return true;
}

} // namespace state_blob
