#pragma once

// Text rules of the optional limit field, over plain values.

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace tess {

// The whole text as a base-10 integer: an optional "+" or "-", then one or
// more ASCII digits, nothing else, within the signed 64-bit range. Empty
// text, a lone sign, spaces, a decimal point or an overflow give nothing.
std::optional<std::int64_t> parseLimitText(QStringView text);

// The plain decimal form: an optional "-", digits, no grouping, no "+".
QString limitText(std::int64_t value);

// A stored limit as the field's value: the largest integer (no limit) is
// no value.
std::optional<std::int64_t> limitFieldValue(std::int64_t setting);
// The field's value as a stored limit: no value is the largest integer; a
// value passes unchanged.
std::int64_t limitSettingValue(std::optional<std::int64_t> value);

}  // namespace tess
