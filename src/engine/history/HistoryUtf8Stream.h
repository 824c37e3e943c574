#pragma once

namespace tess {

// Checks UTF-8 byte by byte, as text::isValidUtf8 does for a whole text.
class HistoryUtf8Stream {
public:
    // False once the bytes so far can no longer be valid UTF-8.
    bool add(unsigned char byte)
    {
        if (m_needed > 0) {
            if (byte < m_lower || byte > m_upper) {
                return false;
            }
            --m_needed;
            m_lower = 0x80;
            m_upper = 0xBF;
            return true;
        }
        if (byte < 0x80) {
            return true;
        }
        if (byte >= 0xC2 && byte <= 0xDF) {
            m_needed = 1;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            m_needed = 2;
            if (byte == 0xE0) {
                m_lower = 0xA0;  // no overlong form
            }
            if (byte == 0xED) {
                m_upper = 0x9F;  // no surrogate
            }
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            m_needed = 3;
            if (byte == 0xF0) {
                m_lower = 0x90;
            }
            if (byte == 0xF4) {
                m_upper = 0x8F;  // nothing above U+10FFFF
            }
        } else {
            return false;
        }
        return true;
    }
    // Ends a text: false when it stopped inside a sequence. Ready for the next.
    bool end()
    {
        const bool complete = m_needed == 0;
        m_needed = 0;
        m_lower = 0x80;
        m_upper = 0xBF;
        return complete;
    }

private:
    int m_needed = 0;
    unsigned char m_lower = 0x80;
    unsigned char m_upper = 0xBF;
};

}  // namespace tess
