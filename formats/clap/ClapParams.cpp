// The params extension: the record's parameters as CLAP parameters, by index.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "formats/clap/ClapPlugin.h"
#include "formats/shared/ValueText.h"

namespace clap_door {

using namespace clap_abi;

bool ClapPlugin::parameterInfo(std::uint32_t index, clap_param_info& info) {
    if (!isParameter(index)) return false;
    const guest::ParameterFacts& parameter = facts.parameters[index];
    info = clap_param_info{};
    info.id = index;
    info.flags = parameter.automatable ? clap_param_info_flags{CLAP_PARAM_IS_AUTOMATABLE}
                                       : clap_param_info_flags{0};
    info.cookie = nullptr;
    std::snprintf(info.name, sizeof info.name, "%s", parameter.name.c_str());
    info.min_value = 0.0;
    info.max_value = 1.0;
    info.default_value = parameter.value;
    return true;
}

bool ClapPlugin::valueText(clap_id id, double value, char* text, std::uint32_t capacity) {
    if (!isParameter(id) || !std::isfinite(value)) return false;
    const auto index = static_cast<std::int32_t>(id);
    formatter.setParameter(index, static_cast<float>(value));
    std::snprintf(text, capacity, "%s", formatter.parameterText(index).c_str());
    return true;
}

bool ClapPlugin::textValue(clap_id id, const char* text, double& value) {
    if (!isParameter(id)) return false;
    const std::optional<double> parsed = value_text::parse(text);
    if (!parsed) return false;
    value = *parsed;
    return true;
}

void ClapPlugin::takeParameters(const clap_input_events* in) {
    const std::uint32_t count = in != nullptr ? in->size(in) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap_event_header* event = in->get(in, i);
        if (event != nullptr && event->space_id == CLAP_CORE_EVENT_SPACE_ID)
            takeEvent(*event, true);
    }
}

void ClapPlugin::flush(const clap_input_events* in, const clap_output_events* out) {
    takeParameters(in);
    sendEdits(out);
}

} // namespace clap_door
