#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace tess {

// Walks the NUL-separated tokens of a file's bytes one by one, keeping
// empty ones (empty input is one empty token), without storing them.
class HistoryTokenCursor {
public:
    explicit HistoryTokenCursor(std::string_view bytes)
        : m_bytes(bytes)
    {
    }

    // The next token, or nothing after the last one.
    std::optional<std::string_view> next()
    {
        if (m_done) {
            return std::nullopt;
        }
        const std::size_t nul = m_bytes.find('\0', m_start);
        if (nul == std::string_view::npos) {
            m_done = true;
            return m_bytes.substr(m_start);
        }
        const std::string_view token = m_bytes.substr(m_start, nul - m_start);
        m_start = nul + 1;
        return token;
    }

    // Up to `count` next tokens into `out`: how many there were.
    std::size_t next(std::string_view* out, std::size_t count)
    {
        std::size_t got = 0;
        for (; got < count; ++got) {
            const std::optional<std::string_view> token = next();
            if (!token) {
                break;
            }
            out[got] = *token;
        }
        return got;
    }

private:
    std::string_view m_bytes;
    std::size_t m_start = 0;
    bool m_done = false;
};

}  // namespace tess
