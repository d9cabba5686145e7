// Where the status tests point a proxy: the service's path on a loopback
// port, with limits short enough that a server that never answers fails a
// call within a second, as the worker's WORKER_TRANSFER_TIMEOUT makes it.
#pragma once

#include <string>

#include "stdsoap2.h"

inline std::string LoopbackEndpoint(int port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/VeltraneWS/veltwua";
}

inline void SetShortLimits(struct soap& proxy) {
    constexpr int kLimitSeconds = 1;
    proxy.connect_timeout = kLimitSeconds;
    proxy.send_timeout = kLimitSeconds;
    proxy.recv_timeout = kLimitSeconds;
    proxy.transfer_timeout = kLimitSeconds;
}
