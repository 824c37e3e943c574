#include "MountTable.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/sysmacros.h>

namespace tess {

namespace {

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string decode(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i >= 4) {
            auto digit = [](char c) { return c >= '0' && c <= '7'; };
            if (digit(field[i + 1]) && digit(field[i + 2]) && digit(field[i + 3])) {
                out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

// "major:minor" as a device number; 0 when it is not one.
dev_t deviceNumber(std::string_view field)
{
    unsigned major = 0;
    unsigned minor = 0;
    const std::string text(field);
    if (std::sscanf(text.c_str(), "%u:%u", &major, &minor) != 2) {
        return 0;
    }
    return makedev(major, minor);
}

std::vector<std::string_view> split(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        auto space = line.find(' ', start);
        if (space == std::string_view::npos) {
            space = line.size();
        }
        if (space > start) {
            fields.push_back(line.substr(start, space - start));
        }
        start = space + 1;
    }
    return fields;
}

}  // namespace

MountTable MountTable::read(const std::string& mountInfoPath)
{
    std::ifstream in(mountInfoPath);
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

MountTable MountTable::parse(std::string_view text)
{
    // id parent major:minor root mount-point options [optional...] - type source super-options
    MountTable table;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        auto fields = split(text.substr(start, end - start));
        start = end + 1;
        std::size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-") {
            ++separator;
        }
        if (fields.size() < 5 || separator + 2 >= fields.size()) {
            continue;
        }
        table.m_mounts.push_back({deviceNumber(fields[2]), decode(fields[separator + 2]), decode(fields[4])});
    }
    return table;
}

const MountTable::Mount* MountTable::findByMountPoint(std::string_view mountPoint) const
{
    // The last entry wins: it is the mount on top.
    const Mount* found = nullptr;
    for (const auto& mount : m_mounts) {
        if (mount.mountPoint == mountPoint) {
            found = &mount;
        }
    }
    return found;
}

std::vector<const MountTable::Mount*> MountTable::findBySource(std::string_view source) const
{
    std::vector<const Mount*> found;
    for (const auto& mount : m_mounts) {
        if (mount.source == source) {
            found.push_back(&mount);
        }
    }
    return found;
}

}  // namespace tess
