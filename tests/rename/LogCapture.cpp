#include "LogCapture.h"

#include "IsolatedLogEnvironment.h"

#include <gtest/gtest.h>
#include <string_view>

namespace tess::test {

namespace {

std::streamoff g_offset = 0;

// HOME and the XDG folders in a temporary folder, debug logging on; the
// capture starts with the first test.
class LogEnvironment : public IsolatedLogEnvironment {
public:
    void SetUp() override
    {
        IsolatedLogEnvironment::SetUp();
        LogCapture::clear();
    }
};

[[maybe_unused]] ::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new LogEnvironment);

}  // namespace

void LogCapture::clear()
{
    g_offset = static_cast<std::streamoff>(appLogContents().size());
}

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The length of an entry's prefix at `text` ("[yyyy-MM-dd HH:mm:ss.SSS] [LEVEL] "
// and, while debug logging is on, "[File.cpp:42] "), or 0 when no entry starts
// there. The level goes to `level`.
std::size_t entryPrefix(std::string_view text, std::string* level)
{
    static constexpr std::string_view pattern = "[dddd-dd-dd dd:dd:dd.ddd] [";
    if (text.size() < pattern.size())
        return 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == 'd' ? !isDigit(text[i]) : pattern[i] != text[i])
            return 0;
    }
    std::size_t position = pattern.size();
    const std::size_t close = text.find("] ", position);
    if (close == std::string_view::npos || close == position)
        return 0;
    for (std::size_t i = position; i < close; ++i) {
        if (text[i] < 'A' || text[i] > 'Z')
            return 0;
    }
    if (level)
        *level = std::string(text.substr(position, close - position));
    position = close + 2;
    // The optional source location: "[name:digits] ".
    if (position < text.size() && text[position] == '[') {
        const std::size_t end = text.find("] ", position);
        const std::size_t colon = text.rfind(':', end);
        if (end != std::string_view::npos && colon != std::string_view::npos && colon > position && colon + 1 < end
            && text.substr(position, end - position).find('/') == std::string_view::npos) {
            bool digits = true;
            for (std::size_t i = colon + 1; i < end; ++i)
                digits = digits && isDigit(text[i]);
            if (digits)
                position = end + 2;
        }
    }
    return position;
}

}  // namespace

std::vector<LogCapture::Line> LogCapture::lines()
{
    const std::string text = appLogContents().substr(static_cast<std::size_t>(g_offset));
    const std::string_view view(text);
    // A message may span several lines: an entry runs until the next line
    // that starts an entry.
    std::vector<Line> out;
    std::size_t position = 0;
    while (position < view.size()) {
        std::size_t end = view.find('\n', position);
        while (end != std::string_view::npos && end + 1 < view.size() && entryPrefix(view.substr(end + 1), nullptr) == 0)
            end = view.find('\n', end + 1);
        const std::string_view entry = view.substr(position, end == std::string_view::npos ? std::string_view::npos : end - position);
        std::string level;
        if (const std::size_t prefix = entryPrefix(entry, &level))
            out.push_back({level, std::string(entry.substr(prefix))});
        position = end == std::string_view::npos ? view.size() : end + 1;
    }
    return out;
}

int LogCapture::find(const std::string& fragment)
{
    const auto all = lines();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].message.find(fragment) != std::string::npos)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace tess::test
