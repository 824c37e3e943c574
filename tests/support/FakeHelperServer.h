#pragma once

// A stand-in for the privileged daemon: listens on a Unix socket and answers
// each request as the test tells it to. Header-only; link tessaline_protocol.

#include "FrameIO.h"
#include "HelperMessage.h"
#include "WireFormat.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tess::test {

class FakeHelperServer {
public:
    // What the server does with one request.
    struct Answer {
        enum class Kind { reply,
            silent,
            hangUp };
        Kind kind = Kind::reply;
        HelperReply reply;

        static Answer with(bool success, std::string message) { return {Kind::reply, {success, std::move(message), {}}}; }
        static Answer silent() { return {Kind::silent, {}}; }  // keeps the connection open, never answers
        static Answer hangUp() { return {Kind::hangUp, {}}; }  // closes without answering
    };
    using Handler = std::function<Answer(const HelperRequest&)>;

    // Answers every request with (true, "") unless a handler is given.
    explicit FakeHelperServer(std::string socketPath, Handler handler = {})
        : m_path(std::move(socketPath))
        , m_handler(std::move(handler))
    {
        m_stop = ::eventfd(0, EFD_CLOEXEC);
        m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, m_path.data(), std::min(m_path.size(), sizeof address.sun_path - 1));
        ::unlink(m_path.c_str());
        m_listening = ::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
            && ::listen(m_listener, 16) == 0;
        if (m_listening)
            m_acceptor = std::thread([this] { acceptLoop(); });
    }

    ~FakeHelperServer()
    {
        std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(m_stop, &one, sizeof one);
        if (m_acceptor.joinable())
            m_acceptor.join();
        std::vector<std::thread> sessions;
        {
            std::lock_guard lock(m_mutex);
            sessions.swap(m_sessions);
        }
        for (auto& session : sessions)
            session.join();
        ::close(m_listener);
        ::close(m_stop);
        ::unlink(m_path.c_str());
    }

    FakeHelperServer(const FakeHelperServer&) = delete;
    FakeHelperServer& operator=(const FakeHelperServer&) = delete;

    bool listening() const { return m_listening; }
    const std::string& socketPath() const { return m_path; }

    void setHandler(Handler handler)
    {
        std::lock_guard lock(m_mutex);
        m_handler = std::move(handler);
    }

    // Every request decoded so far, in arrival order.
    std::vector<HelperRequest> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

    std::size_t count(HelperSelector selector) const
    {
        std::lock_guard lock(m_mutex);
        std::size_t n = 0;
        for (const auto& request : m_requests)
            n += request.selector == selector ? 1 : 0;
        return n;
    }

private:
    void acceptLoop()
    {
        for (;;) {
            pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_stop, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0)
                continue;
            if (fds[1].revents != 0)
                return;
            int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            std::lock_guard lock(m_mutex);
            m_sessions.emplace_back([this, client] { serve(client); });
        }
    }

    void serve(int client)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        auto frame = FrameIO::readFrame(client, deadline, WireFormat::kMaxPayload);
        std::optional<HelperRequest> request;
        if (frame.status == FrameIO::Status::ok)
            request = WireFormat::decodeRequest(frame.payload);
        Answer answer = Answer::hangUp();
        if (request) {
            Handler handler;
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(*request);
                handler = m_handler;
            }
            answer = handler ? handler(*request) : Answer::with(true, "");
        }
        switch (answer.kind) {
        case Answer::Kind::reply:
            FrameIO::writeFrame(client, WireFormat::encodeReply(answer.reply), deadline);
            break;
        case Answer::Kind::silent: {
            // Wait until the client gives up or the server stops.
            pollfd fds[2] = {{client, POLLIN, 0}, {m_stop, POLLIN, 0}};
            ::poll(fds, 2, 30'000);
            break;
        }
        case Answer::Kind::hangUp:
            break;
        }
        ::close(client);
    }

    std::string m_path;
    Handler m_handler;
    int m_stop = -1;
    int m_listener = -1;
    bool m_listening = false;
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_sessions;
    std::vector<HelperRequest> m_requests;
};

}  // namespace tess::test
