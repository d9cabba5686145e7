// A loopback HTTP server for tests of the status client: it answers each
// connection with the next scripted reply (202 Accepted once the script has
// run out) and keeps every request it read.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LoopbackServer {
public:
    explicit LoopbackServer(std::vector<std::string> replies = {});
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    std::vector<std::string> Requests();

    static std::string Reply(const std::string& statusLine, const std::string& body = "");

private:
    void Serve();
    void Handle(int connection);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> replies_;
    std::vector<std::string> requests_;
    std::thread thread_;
};
