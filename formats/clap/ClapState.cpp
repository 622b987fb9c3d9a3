// The state extension: every program's values and name and the current program, in the blob
// every door saves (formats/shared/StateBlob.h). A blob that is short, corrupt, of a later
// version or for another plug-in changes nothing.
#include <string>
#include <vector>

#include "formats/clap/ClapPlugin.h"
#include "formats/shared/StateBlob.h"

namespace clap_door {

using namespace clap_abi;

bool ClapPlugin::save(const clap_ostream& stream) {
    if (!onMainThread()) return false;
    const std::int32_t programs = hosted.effect()->numPrograms;
    const std::int32_t current = hosted.program();
    state_blob::State state;
    state.current = static_cast<std::uint32_t>(current);
    // The record shows a program's values only while it is the current one, and switching to
    // another would play it: the others come from the door's copy, which only it can change.
    for (std::int32_t p = 0; p < programs; ++p) {
        state_blob::Program program{hosted.programName(p), {}};
        for (std::int32_t i = 0; i < parameterCount(); ++i)
            program.values.push_back(p == current ? hosted.parameter(i)
                                                  : storedPrograms[static_cast<std::size_t>(p)][i]);
        state.programs.push_back(std::move(program));
    }
    const std::vector<unsigned char> blob = state_blob::encode(state);

    std::size_t written = 0;
    while (written < blob.size()) {
        const std::int64_t moved =
            stream.write(&stream, blob.data() + written, blob.size() - written);
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
        if (bytes.size() > state_blob::kLargestBlob) return false;
    }
    // Everything checked before the plug-in hears of it.
    state_blob::State state;
    if (!state_blob::decode(bytes, storedPrograms.size(), facts.parameters.size(), state))
        return false;
    for (std::size_t p = 0; p < state.programs.size(); ++p) {
        hosted.setProgram(static_cast<std::int32_t>(p));
        for (std::size_t i = 0; i < state.programs[p].values.size(); ++i)
            hosted.setParameter(static_cast<std::int32_t>(i), state.programs[p].values[i]);
        hosted.dispatch(effSetProgramName, 0, 0, state.programs[p].name.data());
        storedPrograms[p] = state.programs[p].values;
    }
    selectProgram(static_cast<std::int32_t>(state.current));
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
