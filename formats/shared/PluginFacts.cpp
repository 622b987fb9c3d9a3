#include "formats/shared/PluginFacts.h"

#include <string>

#include "host/Morvo.h"

namespace plugin_facts {

guest::Options guestOptions(const char* format, guest::Listener* listener, std::size_t incoming) {
    guest::Options options;
    options.format = format;
    options.incomingCapacity = incoming;
    options.listener = listener;
    return options;
}

bool describe(const char* format, guest::Facts& facts) {
    guest::Guest reader(guestOptions(format, nullptr, 0));
    std::string error;
    if (!reader.create(pluginMain, error)) return false;
    reader.open();
    facts = guest::describe(reader);
    if (facts.hasEditor && facts.editorWidth == 0 && reader.openEditor(nullptr)) {
        reader.editorSize(facts.editorWidth, facts.editorHeight);
        reader.closeEditor();
    }
    reader.close();
    return true;
}

} // namespace plugin_facts
