#include "status/kept_connection_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "support/loopback_listener.h"

namespace {

// How long the server waits between looks at whether it must stop.
constexpr int kPollMilliseconds = 50;
constexpr std::chrono::seconds kEventDeadline{5};

}  // namespace

KeptConnectionServer::KeptConnectionServer(std::vector<Step> script) : script_(std::move(script)) {
    listener_ = ListenOnLoopback(port_, "kept-connection server");
    thread_ = std::thread([this] { Serve(); });
}

KeptConnectionServer::~KeptConnectionServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    thread_.join();
    close(listener_);
}

int KeptConnectionServer::Accepted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

std::vector<std::string> KeptConnectionServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool KeptConnectionServer::WaitForEndedConnections(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kEventDeadline, [&] { return ended_ >= count; });
}

std::string KeptConnectionServer::Accepted(bool askToClose) {
    return std::string("HTTP/1.1 202 Accepted\r\nContent-Length: 0\r\n") + (askToClose ? "Connection: close\r\n" : "") +
           "\r\n";
}

void KeptConnectionServer::Serve() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) return;
        }
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, kPollMilliseconds) <= 0) continue;
        int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0) continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++accepted_;
        }
        Converse(connection);
        close(connection);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++ended_;
        }
        changed_.notify_all();
    }
}

// Answers the connection's requests until the script or the client ends it.
void KeptConnectionServer::Converse(int connection) {
    std::string pending;
    std::string request;
    while (ReadRequest(connection, pending, request)) {
        Step step{Accepted(false), false};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
            if (!script_.empty()) {
                step = script_.front();
                script_.erase(script_.begin());
            }
        }
        if (!step.reply.empty()) send(connection, step.reply.data(), step.reply.size(), MSG_NOSIGNAL);
        if (step.closeAfter) return;
    }
}

// Reads one request (its header and Content-Length bytes) into request, the
// bytes after it staying in pending. False when the client closed the
// connection or the server must stop.
bool KeptConnectionServer::ReadRequest(int connection, std::string& pending, std::string& request) {
    std::size_t headerEnd;
    std::size_t length = 0;
    for (;;) {
        headerEnd = pending.find("\r\n\r\n");
        if (headerEnd != std::string::npos) {
            std::size_t at = pending.find("Content-Length: ");
            length =
                at != std::string::npos && at < headerEnd ? std::strtoul(pending.c_str() + at + 16, nullptr, 10) : 0;
            if (pending.size() >= headerEnd + 4 + length) break;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) return false;
        }
        pollfd waiting{connection, POLLIN, 0};
        if (poll(&waiting, 1, kPollMilliseconds) <= 0) continue;
        char chunk[4096];
        ssize_t n = recv(connection, chunk, sizeof(chunk), 0);
        if (n <= 0) return false;
        pending.append(chunk, static_cast<std::size_t>(n));
    }
    request = pending.substr(0, headerEnd + 4 + length);
    pending.erase(0, request.size());
    return true;
}
