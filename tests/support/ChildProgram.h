#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tess::test {

// A helper program of a test, run in a process of its own and talked to
// line by line: each request is one line on its standard input, each answer
// the lines it writes to its standard output up to a line holding only ".".
// Fields may hold any byte: `escape` keeps one on a single line.
class ChildProgram {
public:
    // The child's whole environment (nothing of the test's is passed on).
    using Environment = std::map<std::string, std::string>;

    ChildProgram(const std::string& program, const std::vector<std::string>& arguments, const Environment& environment,
        const std::string& workingFolder = "/");
    // Ends its input, waits for it to end, and kills it when it does not
    // within a few seconds.
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    bool started() const { return m_pid > 0; }

    // The answer's lines; nothing when the program ended or did not answer
    // within `limit`.
    std::optional<std::vector<std::string>> ask(const std::string& request, std::chrono::milliseconds limit);

    // "\\" for a backslash, "\n" for a line feed, "\t" for a tab, "\r" for a
    // carriage return; every other byte as it is.
    static std::string escape(std::string_view text);
    static std::string unescape(std::string_view text);

    // For the child: gives up root for `uid`, `gid` and the supplementary
    // `groups`, for good (false when that did not happen or could be undone).
    static bool becomeUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups);

private:
    bool readLine(std::string& line, std::chrono::steady_clock::time_point deadline);

    pid_t m_pid = -1;
    int m_socket = -1;  // the child's standard input and output
    std::string m_buffer;
};

}  // namespace tess::test
