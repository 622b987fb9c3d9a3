// The component's state: every program's values and name and the current program, in the blob
// every door saves (formats/shared/StateBlob.h). A blob that is short, corrupt, of a later
// version or for another plug-in changes nothing.
#include <vector>

#include "formats/shared/StateBlob.h"
#include "formats/vst3/Vst3Plugin.h"

namespace vst3_door {

tresult Vst3Plugin::saveState(IBStream* stream) {
    if (initialized == 0) return kNotInitialized;
    const int32 current = hosted.program();
    const auto parameters = static_cast<int32>(facts.parameters.size());
    state_blob::State state;
    state.current = static_cast<std::uint32_t>(current);
    // The record shows a program's values only while it is the current one, and switching to
    // another would play it: the others come from the door's copy.
    for (int32 p = 0; p < programCount(); ++p) {
        state_blob::Program program{hosted.programName(p), {}};
        for (int32 i = 0; i < parameters; ++i)
            program.values.push_back(p == current ? hosted.parameter(i)
                                                  : stored(p, i).load(std::memory_order_relaxed));
        state.programs.push_back(std::move(program));
    }
    const std::vector<unsigned char> blob = state_blob::encode(state);
    std::size_t written = 0;
    while (written < blob.size()) {
        int32 moved = 0;
        auto* from = const_cast<unsigned char*>(blob.data() + written);
        if (stream->vtbl->write(stream, from, static_cast<int32>(blob.size() - written), &moved) !=
                kResultOk ||
            moved <= 0)
            return kResultFalse;
        written += static_cast<std::size_t>(moved);
    }
    return kResultOk;
}

tresult Vst3Plugin::loadState(IBStream* stream) {
    if (initialized == 0) return kNotInitialized;
    // Streams may come in pieces: read to the end, but no further than a blob of ours reaches.
    std::vector<unsigned char> bytes;
    unsigned char chunk[4096];
    for (;;) {
        int32 moved = 0;
        if (stream->vtbl->read(stream, chunk, sizeof chunk, &moved) != kResultOk || moved < 0)
            return kResultFalse;
        if (moved == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + moved);
        if (bytes.size() > state_blob::kLargestBlob) return kResultFalse;
    }
    // Everything checked before the plug-in hears of it.
    state_blob::State state;
    if (!state_blob::decode(bytes, static_cast<std::size_t>(programCount()),
                            facts.parameters.size(), state))
        return kResultFalse;
    for (std::size_t p = 0; p < state.programs.size(); ++p) {
        const auto program = static_cast<int32>(p);
        hosted.setProgram(program);
        for (std::size_t i = 0; i < state.programs[p].values.size(); ++i) {
            const float value = state.programs[p].values[i];
            hosted.setParameter(static_cast<std::int32_t>(i), value);
            stored(program, static_cast<int32>(i)).store(value, std::memory_order_relaxed);
        }
        hosted.dispatch(effSetProgramName, 0, 0, state.programs[p].name.data());
    }
    hosted.setProgram(static_cast<int32>(state.current));
    valuesChanged();
    return kResultOk;
}

} // namespace vst3_door
