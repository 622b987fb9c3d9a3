// JACK's library, loaded when --jack asks for it: morvo-host then installs and runs where JACK
// is not installed, and says so in one line when it is asked to play into JACK there. JACK's
// own headers give the functions' types; nothing links against the library.
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <string>

struct JackLibrary {
    decltype(&::jack_activate) activate = nullptr;
    decltype(&::jack_client_close) client_close = nullptr;
    decltype(&::jack_client_open) client_open = nullptr;
    decltype(&::jack_connect) connect = nullptr;
    decltype(&::jack_deactivate) deactivate = nullptr;
    decltype(&::jack_free) free = nullptr;
    decltype(&::jack_get_buffer_size) get_buffer_size = nullptr;
    decltype(&::jack_get_client_name) get_client_name = nullptr;
    decltype(&::jack_get_ports) get_ports = nullptr;
    decltype(&::jack_get_sample_rate) get_sample_rate = nullptr;
    decltype(&::jack_midi_clear_buffer) midi_clear_buffer = nullptr;
    decltype(&::jack_midi_event_get) midi_event_get = nullptr;
    decltype(&::jack_midi_event_write) midi_event_write = nullptr;
    decltype(&::jack_midi_get_event_count) midi_get_event_count = nullptr;
    decltype(&::jack_on_info_shutdown) on_info_shutdown = nullptr;
    decltype(&::jack_port_get_buffer) port_get_buffer = nullptr;
    decltype(&::jack_port_name) port_name = nullptr;
    decltype(&::jack_port_register) port_register = nullptr;
    decltype(&::jack_set_error_function) set_error_function = nullptr;
    decltype(&::jack_set_info_function) set_info_function = nullptr;
    decltype(&::jack_set_process_callback) set_process_callback = nullptr;
    decltype(&::jack_set_xrun_callback) set_xrun_callback = nullptr;
    decltype(&::jack_transport_query) transport_query = nullptr;

    // False, with the reason, when the library or one of its functions is not there.
    bool load(std::string& error);
};
