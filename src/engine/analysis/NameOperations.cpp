#include "analysis/NameOperations.h"

#include "analysis/RelativePath.h"
#include "text/CharacterWalk.h"

#include <algorithm>

namespace tess {

namespace {

// A text as UDF counts it: code points, UTF-16 units, and whether one code
// point lies above U+00FF (then every unit takes two bytes). A byte that
// starts no valid sequence counts as one narrow character. Its UTF-8 bytes
// are kept beside: the Linux udf driver also refuses a name longer in UTF-8
// than the limit, so a name's length is the larger of the two.
struct UdfCount {
    std::int64_t codePoints = 0;
    std::int64_t units = 0;
    std::int64_t utf8Bytes = 0;
    bool wide = false;

    void add(std::string_view s)
    {
        utf8Bytes += static_cast<std::int64_t>(s.size());
        std::size_t i = 0;
        while (i < s.size()) {
            const auto lead = static_cast<unsigned char>(s[i]);
            const std::size_t length = lead < 0x80 ? 1 : text::sequenceLengthAt(s.substr(i));
            ++codePoints;
            if (length <= 1) {
                ++units;
                ++i;
                continue;
            }
            char32_t codePoint = lead & (0x7F >> length);
            for (std::size_t k = 1; k < length; ++k) {
                codePoint = (codePoint << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
            }
            units += codePoint > 0xFFFF ? 2 : 1;
            wide = wide || codePoint > 0xFF;
            i += length;
        }
    }
    std::int64_t storedBytes() const { return wide ? 2 * units : codePoints; }
    std::int64_t bytes() const { return std::max(storedBytes(), utf8Bytes); }
    UdfCount operator+(const UdfCount& other) const
    {
        return {codePoints + other.codePoints, units + other.units, utf8Bytes + other.utf8Bytes, wide || other.wide};
    }
};

}  // namespace

std::string NameOperations::transliterateComponent(std::string_view component, TransliterationCaches& caches)
{
    return caches.toAscii(component);
}

void NameOperations::prefixDotAncestors(std::string& path)
{
    bool found = false;
    RelativePath::forEachComponent(RelativePath::parentPart(path), [&](std::string_view component) { found = found || isDotName(component); });
    if (!found) {
        return;
    }
    std::string out;
    RelativePath::appendEachComponent(out, RelativePath::parentPart(path), [&](std::string_view component) {
        if (isDotName(component)) {
            out.append(kReservedPrefix);
        }
        out.append(component);
    });
    path = RelativePath::child(out, RelativePath::lastComponent(path));
}

std::string NameOperations::prefixReservedName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::string out;
    out.reserve(path.size() + kReservedPrefix.size());
    out.append(path.substr(0, nameStart));
    out.append(kReservedPrefix);
    out.append(path.substr(nameStart));
    return out;
}

std::string NameOperations::truncateToUtf8Bytes(std::string_view text, std::int64_t budget)
{
    if (budget <= 0) {
        return std::string();
    }
    if (static_cast<std::int64_t>(text.size()) <= budget) {
        return std::string(text);
    }
    const auto limit = static_cast<std::size_t>(budget);
    if (text::bytesAreCharacters(text.substr(0, std::min(text.size(), limit + 1)))) {
        return std::string(text.substr(0, limit));
    }
    return text::truncateToBytes(text, limit);
}

std::string NameOperations::truncateLastComponent(std::string_view path, std::int64_t budget)
{
    std::string cut = NameOperations::truncateToUtf8Bytes(RelativePath::lastComponent(path), budget);
    if (cut.empty()) {
        cut = std::string(kEmptyComponentStandIn);
    }
    return RelativePath::child(RelativePath::parentPart(path), cut);
}

std::string NameOperations::fitUdfNameHead(std::string_view head, std::string_view tail, std::int64_t limit)
{
    UdfCount kept;
    UdfCount tailCount;
    tailCount.add(tail);
    std::size_t cut = 0;
    // Each character only lengthens the name, so the first that does not fit ends it.
    text::forEachCharacter(head, [&](std::string_view character, std::size_t offset) {
        UdfCount next = kept;
        next.add(character);
        if ((next + tailCount).bytes() > limit) {
            return false;
        }
        kept = next;
        cut = offset + character.size();
        return true;
    });
    return std::string(head.substr(0, cut));
}

std::pair<std::string_view, std::string_view> NameOperations::splitExtension(std::string_view name)
{
    if (text::bytesAreCharacters(name)) {
        const std::size_t from = (name.size() >= 2 && name[0] == '.') ? 1 : 0;
        const std::size_t dot = name.find('.', from);
        if (dot == std::string_view::npos) {
            return {name, std::string_view()};
        }
        return {name.substr(0, dot), name.substr(dot)};
    }
    // Character walk: a "." joined with a combining mark is not a full stop.
    std::size_t index = 0;
    bool leadingDot = false;
    std::size_t dotOffset = std::string_view::npos;
    text::forEachCharacter(name, [&](std::string_view character, std::size_t offset) {
        const bool isDot = character == ".";
        if (index == 0) {
            leadingDot = isDot;
        } else if (isDot) {
            dotOffset = offset;
            return false;
        }
        ++index;
        return true;
    });
    if (dotOffset == std::string_view::npos && leadingDot && index <= 1) {
        dotOffset = 0;  // the name is one full stop
    }
    if (dotOffset == std::string_view::npos) {
        return {name, std::string_view()};
    }
    return {name.substr(0, dotOffset), name.substr(dotOffset)};
}

std::pair<std::string_view, std::string_view> NameOperations::splitVersionSuffix(std::string_view base)
{
    std::size_t underscoreOffset = std::string_view::npos;
    std::size_t underscoreIndex = 0;
    std::size_t numbersAfter = 0;
    std::size_t index = 0;
    text::forEachCharacter(base, [&](std::string_view character, std::size_t offset) {
        if (character == "_") {
            underscoreOffset = offset;
            underscoreIndex = index;
            numbersAfter = 0;
        } else if (underscoreOffset != std::string_view::npos && text::isNumberCharacter(character)) {
            ++numbersAfter;
        } else {
            underscoreOffset = std::string_view::npos;
        }
        ++index;
        return true;
    });
    if (underscoreOffset == std::string_view::npos || numbersAfter == 0 || underscoreIndex == 0) {
        return {base, std::string_view()};
    }
    return {base.substr(0, underscoreOffset), base.substr(underscoreOffset)};
}

std::int64_t NameOperations::udfNameLength(std::string_view name)
{
    UdfCount count;
    count.add(name);
    return count.bytes();
}

}  // namespace tess
