#include "formats/guest/Facts.h"

#ifndef MORVO_VERSION
#error "the build gives the release's version"
#endif

namespace guest {

std::string plainName(const std::string& name) {
    const std::size_t mark = name.find(kNotAutomatableMark);
    std::string plain = mark == std::string::npos ? name : name.substr(0, mark);
    while (!plain.empty() && plain.back() == ' ')
        plain.pop_back();
    return plain;
}

Facts describe(Guest& plugin) {
    Facts facts;
    AEffect* const effect = plugin.effect();
    facts.name = plugin.text(effGetEffectName);
    facts.vendor = plugin.text(effGetVendorString);
    facts.product = plugin.text(effGetProductString);
    facts.version = MORVO_VERSION;
    facts.vendorVersion = static_cast<std::int32_t>(plugin.dispatch(effGetVendorVersion));
    for (int shift = 24; shift >= 0; shift -= 8)
        facts.uniqueId += static_cast<char>((effect->uniqueID >> shift) & 0xFF);
    facts.inputs = effect->numInputs;
    facts.outputs = effect->numOutputs;
    for (std::int32_t i = 0; i < plugin.parameterCount(); ++i) {
        std::string name = plugin.parameterName(i);
        const bool automatable = plugin.dispatch(effCanBeAutomated, i) != 0 &&
                                 name.find(kNotAutomatableMark) == std::string::npos;
        facts.parameters.push_back(
            {std::move(name), plugin.parameterLabel(i), plugin.parameter(i), automatable});
    }
    facts.program = plugin.program();
    for (std::int32_t p = 0; p < effect->numPrograms; ++p) {
        plugin.setProgram(p);
        ProgramFacts program{plugin.programName(p), {}};
        for (std::int32_t i = 0; i < plugin.parameterCount(); ++i)
            program.values.push_back(plugin.parameter(i));
        facts.programs.push_back(std::move(program));
    }
    if (effect->numPrograms > 0) plugin.setProgram(facts.program);
    facts.hasEditor = plugin.hasEditor();
    if (facts.hasEditor) plugin.editorSize(facts.editorWidth, facts.editorHeight);
    return facts;
}

} // namespace guest
