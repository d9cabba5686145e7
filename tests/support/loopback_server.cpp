#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/loopback_listener.h"

LoopbackServer::LoopbackServer(std::vector<std::string> replies) : replies_(std::move(replies)) {
    listener_ = ListenOnLoopback(port_, "loopback server");
    thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
}

std::vector<std::string> LoopbackServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string LoopbackServer::Reply(const std::string& statusLine, const std::string& body) {
    return "HTTP/1.1 " + statusLine + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

void LoopbackServer::Serve() {
    while (!stop_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, 50) <= 0) continue;
        int connection = accept(listener_, nullptr, nullptr);
        if (connection >= 0) Handle(connection);
    }
}

void LoopbackServer::Handle(int connection) {
    std::string data;
    char chunk[4096];
    std::size_t headerEnd;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        ssize_t n = recv(connection, chunk, sizeof(chunk), 0);
        if (n <= 0) {
            close(connection);
            return;
        }
        data.append(chunk, static_cast<std::size_t>(n));
    }
    std::size_t length = 0;
    std::size_t at = data.find("Content-Length: ");
    if (at != std::string::npos && at < headerEnd) length = std::strtoul(data.c_str() + at + 16, nullptr, 10);
    while (data.size() < headerEnd + 4 + length) {
        ssize_t n = recv(connection, chunk, sizeof(chunk), 0);
        if (n <= 0) break;
        data.append(chunk, static_cast<std::size_t>(n));
    }
    std::string reply = Reply("202 Accepted");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(data);
        if (!replies_.empty()) {
            reply = replies_.front();
            replies_.erase(replies_.begin());
        }
    }
    send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
    close(connection);
}
