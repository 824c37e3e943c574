#include "rules/OSPathLimit.h"

#include "coding/DecodingError.h"
#include "coding/KeyedDecoder.h"
#include "coding/KeyedEncoder.h"

#include <algorithm>

namespace tess {

OSPathLimit OSPathLimit::hardLimit(std::int64_t value)
{
    return OSPathLimit(Kind::hardLimit, value, value);
}

OSPathLimit OSPathLimit::overridableDefault(std::int64_t defaultValue, std::int64_t hardMax)
{
    return OSPathLimit(Kind::overridableDefault, defaultValue, hardMax);
}

std::optional<OSPathLimit> OSPathLimit::smallest(const std::vector<OSPathLimit>& limits)
{
    if (limits.empty()) {
        return std::nullopt;
    }
    std::int64_t smallestDefault = limits.front().defaultValue();
    std::int64_t smallestMax = limits.front().hardMax();
    for (const OSPathLimit& limit : limits) {
        smallestDefault = std::min(smallestDefault, limit.defaultValue());
        smallestMax = std::min(smallestMax, limit.hardMax());
    }
    if (smallestDefault < smallestMax) {
        return overridableDefault(smallestDefault, smallestMax);
    }
    return hardLimit(smallestMax);
}

PlistValue OSPathLimit::encode() const
{
    KeyedEncoder payload;
    KeyedEncoder out;
    if (m_kind == Kind::hardLimit) {
        payload.encode("_0", PlistValue(m_default));
        out.encode("hardLimit", payload.take());
    } else {
        payload.encode("default", PlistValue(m_default));
        payload.encode("hardMax", PlistValue(m_hardMax));
        out.encode("overridableDefault", payload.take());
    }
    return out.take();
}

Result<OSPathLimit> OSPathLimit::decode(const PlistValue& value)
{
    auto in = KeyedDecoder::container(value);
    if (!in.ok()) {
        return in.error();
    }
    if (in->dictionary().size() != 1) {
        return DecodingError::typeMismatchDescribed("Invalid number of keys found, expected one.");
    }
    const std::string& caseName = in->dictionary().begin()->first;
    if (caseName == "hardLimit") {
        auto payload = in->nestedContainer("hardLimit");
        if (!payload.ok()) {
            return payload.error();
        }
        auto number = payload->decodeInt64("_0");
        if (!number.ok()) {
            return number.error();
        }
        return hardLimit(*number);
    }
    if (caseName == "overridableDefault") {
        auto payload = in->nestedContainer("overridableDefault");
        if (!payload.ok()) {
            return payload.error();
        }
        auto defaultValue = payload->decodeInt64("default");
        if (!defaultValue.ok()) {
            return defaultValue.error();
        }
        auto hardMax = payload->decodeInt64("hardMax");
        if (!hardMax.ok()) {
            return hardMax.error();
        }
        return overridableDefault(*defaultValue, *hardMax);
    }
    // A key that names no case does not count as a case key.
    return DecodingError::typeMismatchDescribed("Invalid number of keys found, expected one.");
}

}  // namespace tess
