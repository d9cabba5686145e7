// The TLS library's one-time set-up.
#pragma once

// Sets the TLS library up for the job; called once, before any other call
// into it (the trust file's parsing included), with the job's transport.
// The library then reads no configuration file and loads no module, however
// it is built and whatever the environment or the disk holds: the worker
// sets its TLS policy itself. It keeps no clean-up for the exit, and loads
// only the error texts that an HTTPS job may print.
void PrepareTlsLibrary(bool useTls);
