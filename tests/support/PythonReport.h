#pragma once

// Reports read back by Python's csv and json modules (and a tree listed by
// Python), through read_report.py beside this header, as a user's script
// would read them. Test code only; header-only.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tess::test::python {

// The python3 on PATH, if any.
inline std::optional<std::string> interpreter()
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/python3";
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

inline std::string quoted(const std::string& argument)
{
    std::string out = "'";
    for (char c : argument) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// read_report.py's output for `mode` and `path`, line by line; nothing when
// the script failed.
inline std::optional<std::vector<std::string>> run(const std::string& mode, const std::string& path)
{
    const std::optional<std::string> python = interpreter();
    if (!python) {
        return std::nullopt;
    }
    // Ninja names the sources relative to the build folder.
    std::filesystem::path header(__FILE__);
    if (header.is_relative()) {
        header = std::filesystem::path(TESSALINE_BINARY_DIR) / header;
    }
    const std::string script = (header.parent_path() / "read_report.py").string();
    const std::string command = quoted(*python) + " " + quoted(script) + " " + mode + " " + quoted(path);
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    for (std::size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, got);
    }
    const int status = pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    std::stringstream stream(output);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The text of hex digits ("-" is the empty text).
inline std::string unhex(const std::string& digits)
{
    std::string out;
    if (digits == "-") {
        return out;
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    }
    return out;
}

using Records = std::vector<std::vector<std::string>>;

// The records of a CSV file as Python's csv module reads them.
inline std::optional<Records> readCsv(const std::string& path)
{
    const auto lines = run("csv", path);
    if (!lines) {
        return std::nullopt;
    }
    Records records;
    for (const std::string& line : *lines) {
        std::vector<std::string>& record = records.emplace_back();
        std::stringstream fields(line);
        for (std::string field; fields >> field;) {
            record.push_back(unhex(field));
        }
    }
    return records;
}

// Every value of a JSON document as Python's json module reads it, by its
// path ("issues.0.path"): "s" and the text, "n" and the number, "b" and
// true or false, "z" for null.
inline std::optional<std::map<std::string, std::string>> readJson(const std::string& path)
{
    const auto lines = run("json", path);
    if (!lines) {
        return std::nullopt;
    }
    std::map<std::string, std::string> values;
    for (const std::string& line : *lines) {
        const std::size_t tab = line.find('\t');
        const std::string value = line.substr(tab + 1);
        values[unhex(line.substr(0, tab))] = value.front() == 's' ? "s" + unhex(value.substr(1)) : value;
    }
    return values;
}

// Every item below `root` by its relative path as Python shows it (a name
// that is not UTF-8 with \xhh for each invalid byte): true for a folder.
inline std::optional<std::map<std::string, bool>> listTree(const std::string& root)
{
    const auto lines = run("tree", root);
    if (!lines) {
        return std::nullopt;
    }
    std::map<std::string, bool> items;
    for (const std::string& line : *lines) {
        items[unhex(line.substr(2))] = line.front() == 'd';
    }
    return items;
}

}  // namespace tess::test::python
