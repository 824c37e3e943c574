#include "ChildProgram.h"

#include <cerrno>
#include <csignal>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tess::test {

namespace {

using namespace std::chrono_literals;

bool waitFor(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD)) {
            return true;
        }
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

}  // namespace

ChildProgram::ChildProgram(const std::string& program, const std::vector<std::string>& arguments,
    const Environment& environment, const std::string& workingFolder)
{
    // One connection both ways: the child's standard input and output. A
    // socket, so that writing to a child that ended raises no SIGPIPE.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return;
    }
    // Everything the child needs is built before the fork: after it, only
    // calls that are safe in a child of a threaded program.
    std::vector<std::string> argumentStore {program};
    argumentStore.insert(argumentStore.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentStore) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> variableStore;
    for (const auto& [name, value] : environment) {
        variableStore.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& variable : variableStore) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    m_pid = ::fork();
    if (m_pid == 0) {
        if (::dup2(ends[1], STDIN_FILENO) < 0 || ::dup2(ends[1], STDOUT_FILENO) < 0 || ::chdir(workingFolder.c_str()) != 0) {
            ::_exit(126);
        }
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(ends[1]);
    if (m_pid < 0) {
        ::close(ends[0]);
        return;
    }
    m_socket = ends[0];
}

ChildProgram::~ChildProgram()
{
    if (m_socket >= 0) {
        ::shutdown(m_socket, SHUT_WR);  // end of its input
    }
    if (m_pid > 0 && !waitFor(m_pid, 10s)) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_socket >= 0) {
        ::close(m_socket);
    }
}

bool ChildProgram::readLine(std::string& line, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        if (const auto end = m_buffer.find('\n'); end != std::string::npos) {
            line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd entry {m_socket, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        char chunk[4096];
        const ssize_t got = ::recv(m_socket, chunk, sizeof chunk, 0);
        if (got <= 0) {
            return false;  // the child ended
        }
        m_buffer.append(chunk, static_cast<std::size_t>(got));
    }
}

std::optional<std::vector<std::string>> ChildProgram::ask(const std::string& request, std::chrono::milliseconds limit)
{
    if (m_socket < 0) {
        return std::nullopt;
    }
    const std::string line = request + "\n";
    for (std::size_t sent = 0; sent < line.size();) {
        const ssize_t wrote = ::send(m_socket, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return std::nullopt;
        }
        sent += static_cast<std::size_t>(wrote);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> answer;
    std::string received;
    while (readLine(received, deadline)) {
        if (received == ".") {
            return answer;
        }
        answer.push_back(std::move(received));
    }
    return std::nullopt;
}

std::string ChildProgram::escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string ChildProgram::unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'n' ? '\n' : next == 't' ? '\t'
            : next == 'r'                       ? '\r'
                                                : next;
    }
    return out;
}

bool ChildProgram::becomeUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups)
{
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
        return false;
    }
    return ::getuid() == uid && ::geteuid() == uid && ::getgid() == gid && ::setuid(0) != 0;
}

}  // namespace tess::test
