// The server's reply, whatever its bytes (status line, header lines, chunks,
// content, a Fault): reading it as an acknowledgement ends with a result,
// without a crash, a leak or undefined behaviour in the runtime's parser.
#include <cstdint>
#include <sstream>
#include <string>

#include "status/acknowledgement.h"
#include "status/status_proxy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    veltwuaPortBindingProxy proxy(nullptr, nullptr);
    std::istringstream reply(std::string(reinterpret_cast<const char*>(data), size));
    proxy.is = &reply;
    ReceiveAcknowledgement(&proxy);
    proxy.destroy();
    return 0;
}
