// The edit controller's parameters: the record's parameters by index, with the plug-in's own
// names, defaults and texts, then one parameter selecting the program, whose list is the unit
// information's program list.
#include <algorithm>
#include <cmath>
#include <optional>

#include "formats/shared/ValueText.h"
#include "formats/vst3/Vst3Plugin.h"

namespace vst3_door {

void copyText(char16* to, std::size_t capacity, const std::string& from) {
    if (capacity == 0) return;
    const std::size_t count = std::min(from.size(), capacity - 1);
    for (std::size_t i = 0; i < count; ++i)
        to[i] = static_cast<char16>(static_cast<unsigned char>(from[i]));
    to[count] = 0;
}

std::string narrowText(const char16* from, std::size_t most) {
    std::string text;
    for (std::size_t i = 0; i < most && from[i] != 0; ++i)
        text += from[i] < 0x80 ? static_cast<char>(from[i]) : '?';
    return text;
}

int32 Vst3Plugin::parameterCount() const {
    return static_cast<int32>(facts.parameters.size()) + (programCount() > 0 ? 1 : 0);
}

int32 Vst3Plugin::programOf(ParamValue normalized) const {
    // A list parameter's steps share 0..1 evenly, as hosts count them.
    const int32 last = programCount() - 1;
    const double scaled = std::floor(std::clamp(normalized, 0.0, 1.0) * (last + 1));
    return std::min(last, static_cast<int32>(scaled));
}

tresult Vst3Plugin::parameterInfo(int32 index, ParameterInfo& info) const {
    if (index < 0 || index >= parameterCount()) return kInvalidArgument;
    info = ParameterInfo{};
    info.unitId = kRootUnitId;
    if (index < static_cast<int32>(facts.parameters.size())) {
        const guest::ParameterFacts& parameter = facts.parameters[static_cast<std::size_t>(index)];
        info.id = static_cast<ParamID>(index);
        copyText(info.title, std::size(info.title), parameter.name);
        copyText(info.shortTitle, std::size(info.shortTitle), parameter.name);
        copyText(info.units, std::size(info.units), parameter.label);
        info.stepCount = 0;
        info.defaultNormalizedValue = parameter.value;
        info.flags = parameter.automatable ? ParameterInfo::kCanAutomate : ParameterInfo::kNoFlags;
        return kResultOk;
    }
    info.id = kProgramParameter;
    copyText(info.title, std::size(info.title), "Program");
    copyText(info.shortTitle, std::size(info.shortTitle), "Program");
    info.stepCount = programCount() - 1;
    info.defaultNormalizedValue = toNormalized(kProgramParameter, facts.program);
    info.flags =
        ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange;
    return kResultOk;
}

tresult Vst3Plugin::valueText(ParamID id, ParamValue value, char16* text) {
    if (initialized == 0) return kNotInitialized;
    if (!std::isfinite(value)) return kInvalidArgument;
    if (id == kProgramParameter && programCount() > 0) {
        copyText(text, 128, hosted.programName(programOf(value)));
        return kResultOk;
    }
    if (!isRecordParameter(id)) return kInvalidArgument;
    const auto index = static_cast<std::int32_t>(id);
    formatter.setParameter(index, static_cast<float>(value));
    copyText(text, 128, formatter.parameterText(index));
    return kResultOk;
}

tresult Vst3Plugin::textValue(ParamID id, const char16* text, ParamValue& value) {
    if (initialized == 0) return kNotInitialized;
    const std::string typed = narrowText(text, 128);
    if (id == kProgramParameter && programCount() > 0) {
        for (int32 p = 0; p < programCount(); ++p)
            if (hosted.programName(p) == typed) {
                value = toNormalized(id, p);
                return kResultOk;
            }
        return kResultFalse;
    }
    if (!isRecordParameter(id)) return kInvalidArgument;
    const std::optional<double> parsed = value_text::parse(typed);
    if (!parsed) return kResultFalse;
    value = *parsed;
    return kResultOk;
}

ParamValue Vst3Plugin::toPlain(ParamID id, ParamValue normalized) const {
    return id == kProgramParameter && programCount() > 0 ? programOf(normalized) : normalized;
}

ParamValue Vst3Plugin::toNormalized(ParamID id, ParamValue plain) const {
    if (id != kProgramParameter || programCount() < 2) return plain;
    return std::clamp(plain / (programCount() - 1), 0.0, 1.0);
}

ParamValue Vst3Plugin::normalized(ParamID id) {
    if (initialized == 0) return 0.0;
    if (isRecordParameter(id)) return hosted.parameter(static_cast<std::int32_t>(id));
    if (id == kProgramParameter) return toNormalized(id, hosted.program());
    return 0.0;
}

tresult Vst3Plugin::setNormalized(ParamID id, ParamValue value) {
    if (initialized == 0) return kNotInitialized;
    if (!std::isfinite(value)) return kInvalidArgument;
    if (isRecordParameter(id)) {
        hosted.setParameter(static_cast<std::int32_t>(id), static_cast<float>(value));
        return kResultOk;
    }
    if (id != kProgramParameter || programCount() == 0) return kInvalidArgument;
    // The host picked a program from the list: the other parameters follow it.
    if (selectProgram(programOf(value))) valuesChanged();
    return kResultOk;
}

tresult Vst3Plugin::programName(ProgramListID list, int32 program, char16* name) {
    if (initialized == 0) return kNotInitialized;
    if (list != kProgramList || program < 0 || program >= programCount()) return kInvalidArgument;
    copyText(name, 128, hosted.programName(program));
    return kResultOk;
}

bool Vst3Plugin::selectProgram(int32 program) {
    const int32 leaving = hosted.program();
    if (program == leaving || program < 0 || program >= programCount()) return false;
    // The one left behind keeps, in the door's copy, the values the plug-in no longer shows.
    if (leaving >= 0 && leaving < programCount())
        for (int32 i = 0; i < static_cast<int32>(facts.parameters.size()); ++i)
            stored(leaving, i).store(hosted.parameter(i), std::memory_order_relaxed);
    hosted.setProgram(program);
    return true;
}

} // namespace vst3_door
