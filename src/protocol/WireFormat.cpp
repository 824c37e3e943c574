#include "WireFormat.h"

#include <algorithm>

namespace tess {

namespace {

void appendLength(std::string& out, std::uint32_t length)
{
    out.push_back(static_cast<char>((length >> 24) & 0xFF));
    out.push_back(static_cast<char>((length >> 16) & 0xFF));
    out.push_back(static_cast<char>((length >> 8) & 0xFF));
    out.push_back(static_cast<char>(length & 0xFF));
}

void appendText(std::string& out, std::string_view text)
{
    appendLength(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

// Reads a payload front to back; every read checks the bytes that remain.
class Cursor {
public:
    explicit Cursor(std::string_view data)
        : m_data(data)
    {
    }

    std::optional<std::uint8_t> byte()
    {
        if (m_data.empty()) {
            return std::nullopt;
        }
        auto value = static_cast<std::uint8_t>(m_data.front());
        m_data.remove_prefix(1);
        return value;
    }

    std::optional<std::string_view> text()
    {
        if (m_data.size() < 4) {
            return std::nullopt;
        }
        std::uint32_t length = 0;
        for (int i = 0; i < 4; ++i) {
            length = (length << 8) | static_cast<std::uint8_t>(m_data[static_cast<std::size_t>(i)]);
        }
        m_data.remove_prefix(4);
        if (length > m_data.size()) {
            return std::nullopt;
        }
        auto value = m_data.substr(0, length);
        m_data.remove_prefix(length);
        return value;
    }

    bool atEnd() const { return m_data.empty(); }

private:
    std::string_view m_data;
};

}  // namespace

std::optional<std::string> WireFormat::encodeRequest(const HelperRequest& request)
{
    const auto& info = HelperSelectors::info(request.selector);
    if (request.arguments.size() != info.argumentCount) {
        return std::nullopt;
    }
    std::string out;
    out.push_back(static_cast<char>(kVersion));
    appendText(out, info.name);
    out.push_back(static_cast<char>(request.arguments.size()));
    for (const auto& argument : request.arguments) {
        if (argument.size() > kMaxPayload) {
            return std::nullopt;
        }
        appendText(out, argument);
    }
    if (out.size() > kMaxPayload) {
        return std::nullopt;
    }
    return out;
}

std::optional<HelperRequest> WireFormat::decodeRequest(std::string_view payload)
{
    if (payload.size() > kMaxPayload) {
        return std::nullopt;
    }
    Cursor cursor(payload);
    if (cursor.byte() != kVersion) {
        return std::nullopt;
    }
    auto name = cursor.text();
    if (!name) {
        return std::nullopt;
    }
    auto selector = HelperSelectors::fromName(*name);
    if (!selector) {
        return std::nullopt;
    }
    auto count = cursor.byte();
    if (!count || *count != HelperSelectors::info(*selector).argumentCount) {
        return std::nullopt;
    }
    HelperRequest request {*selector, {}};
    for (std::uint8_t i = 0; i < *count; ++i) {
        auto argument = cursor.text();
        if (!argument || argument->find('\0') != std::string_view::npos) {
            return std::nullopt;
        }
        request.arguments.emplace_back(*argument);
    }
    if (!cursor.atEnd()) {
        return std::nullopt;
    }
    return request;
}

std::string WireFormat::encodeReply(const HelperReply& reply)
{
    // Header: version, flag and two length fields.
    constexpr std::size_t kOverhead = 2 + 4 + 4;
    constexpr std::size_t kRoom = kMaxPayload - kOverhead;
    std::string_view message = reply.message;
    std::string_view detail = reply.detail;
    message = message.substr(0, std::min(message.size(), kRoom));
    detail = detail.substr(0, std::min(detail.size(), kRoom - message.size()));

    std::string out;
    out.reserve(kOverhead + message.size() + detail.size());
    out.push_back(static_cast<char>(kVersion));
    out.push_back(reply.success ? 1 : 0);
    appendText(out, message);
    appendText(out, detail);
    return out;
}

std::optional<HelperReply> WireFormat::decodeReply(std::string_view payload)
{
    if (payload.size() > kMaxPayload) {
        return std::nullopt;
    }
    Cursor cursor(payload);
    if (cursor.byte() != kVersion) {
        return std::nullopt;
    }
    auto flag = cursor.byte();
    if (!flag || *flag > 1) {
        return std::nullopt;
    }
    auto message = cursor.text();
    if (!message) {
        return std::nullopt;
    }
    auto detail = cursor.text();
    if (!detail || !cursor.atEnd()) {
        return std::nullopt;
    }
    return HelperReply {*flag == 1, std::string(*message), std::string(*detail)};
}

}  // namespace tess
