#include "analysis/PerItemPasses.h"

#include "analysis/NameOperations.h"
#include "analysis/RelativePath.h"
#include "rules/RuleTypes.h"
#include "text/CharacterWalk.h"
#include "text/Text.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>

#define ANALYZER_LOG_INFO(message) emitLog((message), "INFO", __FILE__, __LINE__)

namespace tess {

namespace {

std::int64_t byteCount(std::string_view s)
{
    return static_cast<std::int64_t>(s.size());
}

// Whether upper-casing (full mapping) and composition can leave this
// non-ASCII code point as ASCII text: its upper case is ASCII, or one of the
// three code points whose canonical form is ASCII (composition never yields
// ASCII otherwise). Works on stack buffers, without the heap.
bool mayUpperCaseToAscii(char32_t codePoint)
{
    UChar source[2];
    int32_t sourceLength = 0;
    U16_APPEND_UNSAFE(source, sourceLength, static_cast<UChar32>(codePoint));
    UChar upper[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_strToUpper(upper, 8, source, sourceLength, "", &status);
    if (U_FAILURE(status)) {
        return true;  // cannot tell: the caller takes the exact way
    }
    for (int32_t i = 0; i < length; ++i) {
        const UChar unit = upper[i];
        if (unit >= 0x80 && unit != 0x212A && unit != 0x037E && unit != 0x1FEF) {
            return false;
        }
    }
    return true;
}

}  // namespace

// --- Limits pass ------------------------------------------------------------------------

void PerItemPasses::enforceLimits(std::string& path, bool isDirectory, Issues& issues,
    std::optional<std::string>& tooDeepOriginalPath) const
{
    // 1. Name length.
    {
        const std::int64_t bytes = nameLength(RelativePath::lastComponent(path));
        const std::int64_t limit = isDirectory ? m_effectiveFolderNameLength : m_effectiveFileNameLength;
        if (bytes > limit) {
            if (isDirectory) {
                issues.emplace_back(FileTransformationIssue::FolderNameTooLong {bytes, limit});
                path = truncateFolderName(path, limit);
            } else {
                issues.emplace_back(FileTransformationIssue::FilenameTooLong {bytes, limit});
                path = fitFileName(path, limit, issues);
            }
        }
    }
    // 2. Depth: a folder at the limit is already too deep (its contents
    // would lie beyond it), a file only past it.
    if (m_effectiveMaxPathDepth != kNoLimit) {
        const std::int64_t depth = static_cast<std::int64_t>(RelativePath::nonEmptyComponentCount(path));
        const bool tooDeep = isDirectory ? depth >= m_effectiveMaxPathDepth : depth > m_effectiveMaxPathDepth;
        if (tooDeep) {
            issues.emplace_back(FileTransformationIssue::PathTooDeep {depth, m_effectiveMaxPathDepth});
            if (isDirectory) {
                tooDeepOriginalPath = path;
            }
        }
    }
    // 3. Path length.
    if (m_effectiveMaxPathLength != kNoLimit) {
        const std::int64_t total = m_destinationRootByteCount + byteCount(path);
        if (total > m_effectiveMaxPathLength) {
            issues.emplace_back(FileTransformationIssue::PathTooLong {total, m_effectiveMaxPathLength});
        }
    }
    // 4. Reserved name. "." and ".." are reserved everywhere: a component the
    // passes turned into one of them must never reach a rename.
    std::optional<std::string> key;
    if (!m_effectiveReservedNames.empty()) {
        key = reservedKeyFor(RelativePath::lastComponent(path), isDirectory);
    }
    if (!key && NameOperations::isDotName(RelativePath::lastComponent(path))) {
        key = std::string(RelativePath::lastComponent(path));
    }
    if (key) {
        issues.emplace_back(FileTransformationIssue::ReservedName {std::move(*key)});
        path = NameOperations::prefixReservedName(path);
        refitAfterPrefix(path, isDirectory, issues);
    }
    NameOperations::prefixDotAncestors(path);
}

std::optional<std::string> PerItemPasses::reservedKeyFor(std::string_view name, bool isDirectory) const
{
    // Upper-casing and composition shrink a text by at most a factor of 3,
    // so a much longer name cannot match; this skips the case mapping.
    const auto candidate = [&](std::string_view text) -> std::optional<std::string> {
        if (text::isAscii(text)) {
            // ASCII upper-casing keeps the length and only ASCII keys can match.
            if (text.size() < m_reservedAsciiLengths.size() && !m_reservedAsciiLengths[text.size()]) {
                return std::nullopt;
            }
            std::string key(text);
            for (char& c : key) {
                if (c >= 'a' && c <= 'z') {
                    c = static_cast<char>(c - 'a' + 'A');
                }
            }
            if (m_effectiveReservedNames.count(key) > 0) {
                return key;
            }
            return std::nullopt;
        }
        if (text.size() > 4 * m_longestReservedName) {
            return std::nullopt;
        }
        if (m_reservedNamesAllAscii) {
            // An ASCII entry can only match when every code point of the
            // name turns into ASCII; most names fail that test cheaply.
            bool mayMatch = true;
            text::forEachCodePoint(text, [&mayMatch](char32_t codePoint) {
                mayMatch = mayMatch && (codePoint < 0x80 || mayUpperCaseToAscii(codePoint));
            });
            if (!mayMatch) {
                return std::nullopt;
            }
        }
        std::string key = text::toUpper(text);
        if (isReservedKey(key)) {
            return key;
        }
        return std::nullopt;
    };
    if (isDirectory) {
        return candidate(name);
    }
    const std::string_view base = NameOperations::splitExtension(name).first;
    if (std::optional<std::string> key = candidate(base)) {
        return key;
    }
    // A file whose whole name is reserved ("." or "..", whose extension split
    // leaves a different base) is reserved too.
    return base.size() == name.size() ? std::nullopt : candidate(name);
}

void PerItemPasses::refitAfterPrefix(std::string& path, bool isDirectory, Issues& issues) const
{
    const std::int64_t limit = isDirectory ? m_effectiveFolderNameLength : m_effectiveFileNameLength;
    if (nameLength(RelativePath::lastComponent(path)) <= limit) {
        return;
    }
    if (isDirectory) {
        path = truncateFolderName(path, limit);
        return;
    }
    const bool alreadyUnresolvable = std::any_of(issues.begin(), issues.end(),
        [](const FileTransformationIssue& issue) { return issue.is<FileTransformationIssue::FilenameUnresolvable>(); });
    if (!alreadyUnresolvable) {
        path = fitFileName(path, limit, issues);
    }
}

std::int64_t PerItemPasses::nameLength(std::string_view name) const
{
    if (!m_udfNameLengths || text::isAscii(name)) {
        return byteCount(name);
    }
    return NameOperations::udfNameLength(name);
}

std::string PerItemPasses::truncateFolderName(std::string_view path, std::int64_t limit) const
{
    // A cut can end on a character the trailing strip removes: it goes too,
    // so that the cut name is final.
    std::string cut = truncateName(path, limit);
    const std::string_view name = RelativePath::lastComponent(cut);
    std::string kept = dropTrailingStripCharacters(name);
    if (kept.size() == name.size()) {
        return cut;
    }
    return RelativePath::child(RelativePath::parentPart(cut), kept.empty() ? std::string(NameOperations::kEmptyComponentStandIn) : kept);
}

std::string PerItemPasses::truncateName(std::string_view path, std::int64_t limit) const
{
    if (!m_udfNameLengths) {
        return NameOperations::truncateLastComponent(path, limit);
    }
    std::string cut = NameOperations::fitUdfNameHead(RelativePath::lastComponent(path), {}, limit);
    if (cut.empty()) {
        cut = NameOperations::kEmptyComponentStandIn;
    }
    return RelativePath::child(RelativePath::parentPart(path), cut);
}

std::string PerItemPasses::fitFileName(std::string_view path, std::int64_t limit, Issues& issues) const
{
    const std::string_view name = RelativePath::lastComponent(path);
    const std::string_view prefix = RelativePath::parentPart(path);
    const auto [base, extension] = NameOperations::splitExtension(name);
    const auto [stem, suffix] = NameOperations::splitVersionSuffix(base);
    std::string tail;
    tail.append(suffix).append(extension);
    const std::int64_t tailLength = m_udfNameLengths ? nameLength(tail) : byteCount(extension) + byteCount(suffix);
    const std::int64_t budget = limit - tailLength;

    std::string reason;
    if (budget < 1) {
        reason = "Extension";
        if (!suffix.empty()) {
            reason += " + version suffix '" + std::string(suffix) + "'";
        }
        reason += " (" + std::to_string(tailLength) + " B) exceeds " + std::to_string(limit) + " B limit";
    } else {
        std::string cut = m_udfNameLengths ? NameOperations::fitUdfNameHead(stem, tail, limit) : NameOperations::truncateToUtf8Bytes(stem, budget);
        if (suffix.empty() && extension.empty()) {
            // The cut ends the name: a trailing strip character there goes too.
            std::string kept = dropTrailingStripCharacters(cut);
            if (!kept.empty()) {
                cut = std::move(kept);
            }
        }
        if (!cut.empty()) {
            cut.append(suffix);
            cut.append(extension);
            if (m_cleanRepeatedSeparators && !tail.empty()) {
                // The cut can end on a separator that now meets the one
                // starting the extension or suffix.
                cut = collapseSeparatorRuns(cut);
            }
            return RelativePath::child(prefix, cut);
        }
        reason = "No character fits in " + std::to_string(budget) + "-byte base budget";
    }
    ANALYZER_LOG_INFO("Analyzer: unresolvable '" + std::string(name) + "' — " + reason);
    issues.emplace_back(FileTransformationIssue::FilenameUnresolvable {std::move(reason)});
    return std::string(path);
}

}  // namespace tess
