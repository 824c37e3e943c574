#include "rules/TranslationEntry.h"

#include "coding/KeyedDecoder.h"
#include "coding/KeyedEncoder.h"
#include "text/Text.h"

namespace tess {

PlistValue TranslationEntry::encode() const
{
    KeyedEncoder out;
    out.encode("from", PlistValue(from));
    out.encode("to", PlistValue(to));
    return out.take();
}

Result<TranslationEntry> TranslationEntry::decode(const PlistValue& value)
{
    auto in = KeyedDecoder::container(value);
    if (!in.ok()) {
        return in.error();
    }
    auto from = in->decodeString("from");
    if (!from.ok()) {
        return from.error();
    }
    auto to = in->decodeString("to");
    if (!to.ok()) {
        return to.error();
    }
    return TranslationEntry {std::move(from).value(), std::move(to).value()};
}

bool operator==(const TranslationEntry& a, const TranslationEntry& b)
{
    return text::canonicallyEqual(a.from, b.from) && text::canonicallyEqual(a.to, b.to);
}

}  // namespace tess

std::size_t std::hash<tess::TranslationEntry>::operator()(const tess::TranslationEntry& entry) const noexcept
{
    const std::size_t h = tess::text::canonicalHash(entry.from);
    return h ^ (tess::text::canonicalHash(entry.to) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}
