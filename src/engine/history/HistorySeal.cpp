#include "history/HistorySeal.h"

#include <charconv>
#include <optional>
#include <string_view>
#include <sys/xattr.h>

namespace tess {

namespace {

struct SealContent {
    std::uint64_t bytes = 0;
    std::uint64_t records = 0;
};

std::optional<std::uint64_t> number(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// "<bytes> <records>".
std::optional<SealContent> parseSeal(const char* buffer, ssize_t length)
{
    if (length <= 0) {
        return std::nullopt;
    }
    const std::string_view text(buffer, static_cast<std::size_t>(length));
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos) {
        return std::nullopt;
    }
    const auto bytes = number(text.substr(0, space));
    const auto records = number(text.substr(space + 1));
    if (!bytes || !records) {
        return std::nullopt;
    }
    return SealContent {*bytes, *records};
}

HistorySeal::State compare(const std::optional<SealContent>& seal, std::uint64_t bytes, std::uint64_t records)
{
    if (!seal) {
        return HistorySeal::State::none;
    }
    return seal->bytes == bytes && seal->records == records ? HistorySeal::State::intact : HistorySeal::State::broken;
}

}  // namespace

void HistorySeal::write(int fd, std::uint64_t bytes, std::uint64_t records)
{
    const std::string content = std::to_string(bytes) + " " + std::to_string(records);
    ::fsetxattr(fd, kAttribute, content.data(), content.size(), 0);
}

HistorySeal::State HistorySeal::check(int fd, std::uint64_t bytes, std::uint64_t records)
{
    char buffer[64];
    return compare(parseSeal(buffer, ::fgetxattr(fd, kAttribute, buffer, sizeof buffer)), bytes, records);
}

HistorySeal::State HistorySeal::check(const std::string& file, std::uint64_t bytes, std::uint64_t records)
{
    char buffer[64];
    return compare(parseSeal(buffer, ::lgetxattr(file.c_str(), kAttribute, buffer, sizeof buffer)), bytes, records);
}

}  // namespace tess
