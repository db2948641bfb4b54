#pragma once

// SIGTERM, SIGHUP and SIGINT (a logout, `kill`, Ctrl+C in a terminal) end the
// event loop as File, Exit does, so every window is destroyed in order and the
// run log writes out what it still holds. A second signal while the loop is
// ending acts as it would by default. Call once, after the application object
// exists.
void QuitOnTerminationSignals();
