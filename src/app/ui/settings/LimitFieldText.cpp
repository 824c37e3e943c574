#include "ui/settings/LimitFieldText.h"

#include <limits>

namespace tess {

std::optional<std::int64_t> parseLimitText(QStringView text)
{
    qsizetype position = 0;
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        position = 1;
    }
    if (position == text.size()) {
        return std::nullopt;
    }
    // Accumulated as a negative number, whose range holds the smallest value.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t accumulated = 0;
    for (; position < text.size(); ++position) {
        const char16_t c = text[position].unicode();
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        const int digit = c - u'0';
        if (accumulated < (kMin + digit) / 10) {
            return std::nullopt;
        }
        accumulated = accumulated * 10 - digit;
    }
    if (negative) {
        return accumulated;
    }
    if (accumulated == kMin) {
        return std::nullopt;
    }
    return -accumulated;
}

QString limitText(std::int64_t value)
{
    return QString::number(value);
}

std::optional<std::int64_t> limitFieldValue(std::int64_t setting)
{
    if (setting == std::numeric_limits<std::int64_t>::max()) {
        return std::nullopt;
    }
    return setting;
}

std::int64_t limitSettingValue(std::optional<std::int64_t> value)
{
    return value.value_or(std::numeric_limits<std::int64_t>::max());
}

}  // namespace tess
