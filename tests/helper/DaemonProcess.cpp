#include "DaemonProcess.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tess::test {

using namespace std::chrono_literals;

DaemonProcess::DaemonProcess(Environment environment, std::string binary)
    : m_environment(std::move(environment))
    , m_binary(std::move(binary))
{
}

DaemonProcess::~DaemonProcess()
{
    if (m_pid > 0 && !m_status) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool DaemonProcess::start(const std::string& socketPath, int inheritedSocket, int extraFd)
{
    if (!launch(inheritedSocket, extraFd))
        return false;
    HelperClient client(socketPath);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!running())
            return false;
        if (client.testConnection(1s).ok())
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

bool DaemonProcess::launch(int inheritedSocket, int extraFd)
{
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string variable = *entry;
        std::string name = variable.substr(0, variable.find('='));
        if (m_environment.count(name) == 0 && name.rfind("LISTEN_", 0) != 0)
            variables.push_back(variable);
    }
    for (const auto& [name, value] : m_environment) {
        if (!value.empty())
            variables.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    m_pid = ::fork();
    if (m_pid < 0)
        return false;
    if (m_pid == 0) {
        if (inheritedSocket >= 0) {
            // The shell's pid is the daemon's once it execs.
            if (::dup2(inheritedSocket, 3) != 3 || (extraFd >= 0 && ::dup2(extraFd, 4) != 4))
                ::_exit(127);
            const char* script = extraFd >= 0 ? "LISTEN_PID=$$ LISTEN_FDS=2 exec \"$0\"" : "LISTEN_PID=$$ LISTEN_FDS=1 exec \"$0\"";
            const char* argv[] = {"sh", "-c", script, m_binary.c_str(), nullptr};
            ::execve("/bin/sh", const_cast<char* const*>(argv), envp.data());
            ::_exit(127);
        }
        const char* argv[] = {m_binary.c_str(), nullptr};
        ::execve(m_binary.c_str(), const_cast<char* const*>(argv), envp.data());
        ::_exit(127);
    }
    return true;
}

bool DaemonProcess::running()
{
    if (m_pid <= 0 || m_status)
        return false;
    int status = 0;
    pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

std::optional<int> DaemonProcess::waitForExit(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
    return m_status;
}

std::optional<int> DaemonProcess::terminate(std::chrono::milliseconds limit)
{
    if (running())
        ::kill(m_pid, SIGTERM);
    return waitForExit(limit);
}

HelperCallResult callAsUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups,
    const std::function<HelperCallResult()>& call)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {HelperCallResult::Failure::connectFailed, "pipe", {}};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(2);
        HelperCallResult result = call();
        std::string encoded = std::to_string(static_cast<int>(result.failure)) + (result.reply.success ? "1" : "0") + result.reply.message;
        ssize_t ignored = ::write(fds[1], encoded.data(), encoded.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string encoded;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0)
        encoded.append(buffer, static_cast<std::size_t>(got));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    HelperCallResult result;
    if (encoded.size() < 2) {
        result.failure = HelperCallResult::Failure::connectFailed;
        result.detail = "child could not drop root";
        return result;
    }
    result.failure = static_cast<HelperCallResult::Failure>(encoded[0] - '0');
    result.reply.success = encoded[1] == '1';
    result.reply.message = encoded.substr(2);
    return result;
}

}  // namespace tess::test
