// A build without JACK's library (Windows, or Linux without libjack-jackd2-dev).
#include <cstdio>

#include "drivers/JackPlay.h"

int playJack(HostSession&, const LiveSettings&, const JackPorts&, Reports&) {
    std::fprintf(stderr, "morvo-host: --jack is not built into this morvo-host (it was built "
                         "without JACK's library)\n");
    return 1;
}
