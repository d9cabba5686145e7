// The status server's endpoint as a job's command line names it: its host
// and port, checked and put into the URL that the runtime connects to.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

// Whether port is a TCP port: 1 to 5 ASCII digits whose value is 1 to 65535.
bool IsStatusPort(const WCHAR* port);

// The endpoint "http://<host>:<port>/VeltraneWS/veltwua" ("https" with
// useTls), in the thread's ANSI code page as the runtime takes it; nothing
// when host and port do not make an endpoint that goes out as named:
//   - a port that is not IsStatusPort: the runtime would read any number
//     from it and connect to its low 16 bits;
//   - a host that is empty, holds what IsSendableEndpointPart refuses or a
//     ":" (after which the runtime reads the port), or that the code page
//     cannot carry unchanged; its bytes in that code page are checked too,
//     as a character of two bytes may hold "@" or "\";
//   - an endpoint longer than the runtime keeps whole, which it would cut,
//     path and all.
std::optional<std::string> MakeStatusEndpoint(const WCHAR* host, const WCHAR* port, bool useTls);
