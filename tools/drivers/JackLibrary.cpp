#include "drivers/JackLibrary.h"

#include <dlfcn.h>

namespace {

// Found by the name JACK's runtime packages install (Debian's libjack-jackd2-0, PipeWire's
// JACK and JACK 1 alike); kept loaded for the program's life.
constexpr const char* kLibraryName = "libjack.so.0";

template <typename Function>
bool find(void* library, const char* name, Function& function, std::string& missing) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (function == nullptr && missing.empty()) missing = name;
    return function != nullptr;
}

} // namespace

bool JackLibrary::load(std::string& error) {
    void* library = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        error = "JACK is not installed (no " + std::string(kLibraryName) +
                "; Debian's package is libjack-jackd2-0)";
        return false;
    }
    std::string missing;
    find(library, "jack_activate", activate, missing);
    find(library, "jack_client_close", client_close, missing);
    find(library, "jack_client_open", client_open, missing);
    find(library, "jack_connect", connect, missing);
    find(library, "jack_deactivate", deactivate, missing);
    find(library, "jack_free", free, missing);
    find(library, "jack_get_buffer_size", get_buffer_size, missing);
    find(library, "jack_get_client_name", get_client_name, missing);
    find(library, "jack_get_ports", get_ports, missing);
    find(library, "jack_get_sample_rate", get_sample_rate, missing);
    find(library, "jack_midi_clear_buffer", midi_clear_buffer, missing);
    find(library, "jack_midi_event_get", midi_event_get, missing);
    find(library, "jack_midi_event_write", midi_event_write, missing);
    find(library, "jack_midi_get_event_count", midi_get_event_count, missing);
    find(library, "jack_on_info_shutdown", on_info_shutdown, missing);
    find(library, "jack_port_get_buffer", port_get_buffer, missing);
    find(library, "jack_port_name", port_name, missing);
    find(library, "jack_port_register", port_register, missing);
    find(library, "jack_set_error_function", set_error_function, missing);
    find(library, "jack_set_info_function", set_info_function, missing);
    find(library, "jack_set_process_callback", set_process_callback, missing);
    find(library, "jack_set_xrun_callback", set_xrun_callback, missing);
    find(library, "jack_transport_query", transport_query, missing);
    if (missing.empty()) return true;
    error = "JACK's library has no " + missing;
    dlclose(library);
    return false;
}
