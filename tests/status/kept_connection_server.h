// A loopback HTTP server for tests of kept-alive connections: it reads the
// requests of each connection one after another, answers each with the next
// step of its script (a 202 that keeps the connection once the script has
// run out), and counts the connections it accepted and ended.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class KeptConnectionServer {
public:
    // The answer to one request, and whether the server then closes the
    // connection. Without a reply the request is not answered: the server
    // closes the connection at once, or keeps it open and silent.
    struct Step {
        std::string reply;
        bool closeAfter;
    };

    explicit KeptConnectionServer(std::vector<Step> script = {});
    ~KeptConnectionServer();
    KeptConnectionServer(const KeptConnectionServer&) = delete;
    KeptConnectionServer& operator=(const KeptConnectionServer&) = delete;

    int Port() const { return port_; }
    int Accepted();
    std::vector<std::string> Requests();
    // Waits until `count` connections have ended (closed by either side);
    // false when that has not happened within a few seconds.
    bool WaitForEndedConnections(int count);

    // "202 Accepted" with Content-Length 0, and "Connection: close" if asked.
    static std::string Accepted(bool askToClose);

private:
    void Serve();
    void Converse(int connection);
    bool ReadRequest(int connection, std::string& pending, std::string& request);

    int listener_ = -1;
    int port_ = 0;
    bool stop_ = false;
    int accepted_ = 0;
    int ended_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Step> script_;
    std::vector<std::string> requests_;
    std::thread thread_;
};
