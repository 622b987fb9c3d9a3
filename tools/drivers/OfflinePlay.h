// morvo-host's offline run: the blocks one after another as fast as they play, each block's
// messages to the step table and the files as they come, so that memory stays the same however
// long the song. Ctrl-C ends it with no file written.
#pragma once

#include "drivers/LivePlay.h"
#include "reports/Reports.h"

// False when interrupted.
bool playOffline(HostSession& session, const LiveSettings& settings, Reports& reports);
