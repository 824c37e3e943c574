#include "analysis/PerItemPasses.h"

#include "analysis/NameOperations.h"
#include "analysis/RelativePath.h"
#include "rules/RuleTypes.h"
#include "rules/TranslationTable.h"
#include "text/CharacterWalk.h"
#include <algorithm>
#include <utility>

namespace tess {

namespace {

constexpr int kMaxEdgeRounds = 16;

bool containsCanonically(const std::vector<std::string>& list, std::string_view value)
{
    return std::any_of(list.begin(), list.end(), [&](const std::string& member) { return text::canonicallyEqual(member, value); });
}

}  // namespace

std::string PerItemPasses::characterKey(std::string_view character)
{
    if (character.size() == 1 && text::isAsciiByte(character[0])) {
        return std::string(character);
    }
    return text::nfc(character);
}

// --- All passes -----------------------------------------------------------------

void PerItemPasses::run(std::string& path, bool isDirectory, Issues& issues, std::optional<std::string>& tooDeepOriginalPath,
    TransliterationCaches& caches) const
{
    applyEncoding(path, issues, caches);
    applyTranslationTable(path, issues);
    stripCharacters(path, issues);
    if (m_cleanRepeatedSeparators) {
        // A collapsed run can leave a strip character at an edge ("0-._"
        // becomes "0."): strip and collapse again until neither changes
        // anything, so that a proposed name is final. Each round shortens
        // the path; the bound is only a guard.
        for (int round = 0; round < kMaxEdgeRounds && collapseRepeatedSeparators(path, issues) && stripCharacters(path, issues);
             ++round) {
        }
    }
    enforceLimits(path, isDirectory, issues, tooDeepOriginalPath);
}

// --- Encoding pass --------------------------------------------------------------

void PerItemPasses::applyEncoding(std::string& path, Issues& issues, TransliterationCaches& caches) const
{
    if (text::isAscii(path)) {
        return;
    }
    std::string encoded;
    if (!text::isValidUtf8(path)) {
        // Read as Windows-1252; the item is reported whatever the encoding
        // then does, so its proposed path is valid UTF-8.
        std::string valid = text::toValidUtf8(path);
        if (encodeValidPath(valid, encoded, caches) != Encoded::unchanged) {
            valid = std::move(encoded);
        }
        issues.emplace_back(FileTransformationIssue::EncodingTransformed {std::move(path), valid});
        path = std::move(valid);
        return;
    }
    if (m_resolvedEncoding == TargetEncoding::utf8Full) {
        return;
    }
    switch (encodeValidPath(path, encoded, caches)) {
    case Encoded::unchanged:
        return;
    case Encoded::replaced:
        path = std::move(encoded);
        return;
    case Encoded::reported:
        issues.emplace_back(FileTransformationIssue::EncodingTransformed {std::move(path), encoded});
        path = std::move(encoded);
        return;
    }
}

// Converts a valid UTF-8 path for the target encoding. Unless the path stays
// as it is, `out` receives the new path; the answer tells whether that change
// is to be reported. A path that needs no work costs no allocation.
PerItemPasses::Encoded PerItemPasses::encodeValidPath(std::string_view path, std::string& out,
    TransliterationCaches& caches) const
{
    // The change test of the ASCII and basic encodings: a result equal to
    // the input under canonical equivalence replaces it without an issue.
    const auto verdict = [&]() {
        if (out == path) {
            return Encoded::unchanged;
        }
        return text::canonicallyEqual(out, path) ? Encoded::replaced : Encoded::reported;
    };
    switch (m_resolvedEncoding) {
    case TargetEncoding::utf8Full:
        return Encoded::unchanged;
    case TargetEncoding::asciiOnly: {
        if (text::isAscii(path)) {
            return Encoded::unchanged;
        }
        out.clear();
        out.reserve(path.size());
        RelativePath::appendEachComponent(out, path, [&](std::string_view component) {
            if (component.empty() || text::isAscii(component)) {
                out.append(component);
                return;
            }
            const std::size_t componentStart = out.size();
            const std::string ascii = NameOperations::transliterateComponent(component, caches);
            out.append(ascii.empty() ? NameOperations::kEmptyComponentStandIn : std::string_view(ascii));
            keepVisible(component, out, componentStart);
        });
        return verdict();
    }
    case TargetEncoding::utf8Basic: {
        // Only 4-byte sequences (lead bytes 0xF0 and up) lie beyond U+FFFF.
        if (std::none_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xF0; })) {
            return Encoded::unchanged;
        }
        out.clear();
        out.reserve(path.size());
        RelativePath::appendEachComponent(out, path, [&](std::string_view component) {
            const std::size_t componentStart = out.size();
            for (std::size_t i = 0; i < component.size();) {
                if (static_cast<unsigned char>(component[i]) >= 0xF0) {
                    i += 4;
                    continue;
                }
                out.push_back(component[i]);
                ++i;
            }
            if (!component.empty() && out.size() == componentStart) {
                out.append(NameOperations::kEmptyComponentStandIn);
            }
            keepVisible(component, out, componentStart);
        });
        return verdict();
    }
    case TargetEncoding::utf8FullNFC: {
        if (text::isAscii(path) || text::isNfc(path)) {
            return Encoded::unchanged;
        }
        out.clear();
        out.reserve(path.size());
        RelativePath::appendEachComponent(out, path, [&](std::string_view component) {
            out.append(component.empty() ? std::string() : text::nfc(component));
        });
        return out == path ? Encoded::unchanged : Encoded::reported;
    }
    }
    return Encoded::unchanged;
}

// --- Translation pass -------------------------------------------------------------

std::vector<std::string> PerItemPasses::removedCharacters(const std::vector<std::string>& input,
    const std::vector<std::string>& output)
{
    std::vector<std::string> characters;
    std::array<bool, 128> listedAscii {};
    std::vector<std::string> listedOther;
    std::array<bool, 128> keptAscii {};
    std::vector<std::string> keptOther;
    const auto isAsciiKey = [](const std::string& key) { return key.size() == 1 && text::isAsciiByte(key[0]); };
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == output[i] || text::canonicallyEqual(input[i], output[i])) {
            continue;
        }
        keptAscii.fill(false);
        keptOther.clear();
        text::forEachCharacter(output[i], [&](std::string_view character, std::size_t) {
            std::string key = characterKey(character);
            if (isAsciiKey(key)) {
                keptAscii[static_cast<unsigned char>(key[0])] = true;
            } else {
                keptOther.push_back(std::move(key));
            }
            return true;
        });
        text::forEachCharacter(input[i], [&](std::string_view character, std::size_t) {
            std::string key = characterKey(character);
            if (isAsciiKey(key)) {
                const auto byte = static_cast<unsigned char>(key[0]);
                if (!keptAscii[byte] && !listedAscii[byte]) {
                    listedAscii[byte] = true;
                    characters.emplace_back(character);
                }
            } else if (std::find(keptOther.begin(), keptOther.end(), key) == keptOther.end()
                && std::find(listedOther.begin(), listedOther.end(), key) == listedOther.end()) {
                listedOther.push_back(std::move(key));
                characters.emplace_back(character);
            }
            return true;
        });
    }
    return characters;
}

void PerItemPasses::applyTranslationTable(std::string& path, Issues& issues) const
{
    const PreparedTranslationTable& table = m_effectiveTranslationTable;
    if (table.isEmpty()) {
        return;
    }
    // Cheap test first: without multi-character entries, an ASCII component
    // can only change through a byte that has a slot.
    const bool multi = !table.sortedMultiCharEntries().empty();
    const auto& slots = table.asciiByteLookup();
    const auto mayChange = [&](std::string_view component) {
        if (multi) {
            return true;
        }
        for (const char c : component) {
            if (!text::isAsciiByte(c) || slots[static_cast<unsigned char>(c)].has_value()) {
                return true;
            }
        }
        return false;
    };

    bool changed = false;
    thread_local std::string scratch;  // keeps its capacity between items
    RelativePath::forEachComponent(path, [&](std::string_view component) {
        if (changed || component.empty() || !mayChange(component)) {
            return;
        }
        scratch.assign(component);
        changed = table.applyInPlace(scratch) > 0;
    });
    if (!changed) {
        return;
    }

    const std::vector<std::string> input = RelativePath::split(path);
    std::vector<std::string> output = input;
    for (std::string& component : output) {
        if (!component.empty()) {
            table.applyInPlace(component);
        }
    }
    std::vector<std::string> characters = removedCharacters(input, output);
    // A component the table emptied becomes "_" only now, so that the list
    // above names every character the table took out.
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (output[i].empty() && !input[i].empty()) {
            output[i] = NameOperations::kEmptyComponentStandIn;
        }
        keepVisible(input[i], output[i]);
    }
    std::string newPath = RelativePath::join(output);
    issues.emplace_back(FileTransformationIssue::CharacterTransformed {std::move(characters), path, newPath});
    path = std::move(newPath);
}

// --- Strip pass ---------------------------------------------------------------------

bool PerItemPasses::mayStrip(std::string_view component) const
{
    if (component.empty()) {
        return false;
    }
    if (!m_stripLeadingCharacters.empty()
        && (!m_stripLeadingCharacters.asciiOnly() || m_stripLeadingCharacters.containsAsciiByte(component.front()))) {
        return true;
    }
    return !m_stripTrailingCharacters.empty()
        && (!m_stripTrailingCharacters.asciiOnly() || m_stripTrailingCharacters.containsAsciiByte(component.back()));
}

bool PerItemPasses::stripCharacters(std::string& path, Issues& issues) const
{
    if (m_stripLeadingCharacters.empty() && m_stripTrailingCharacters.empty()) {
        return false;
    }
    bool candidate = false;
    RelativePath::forEachComponent(path, [&](std::string_view component) { candidate = candidate || mayStrip(component); });
    if (!candidate) {
        return false;
    }
    std::vector<std::string> trimmed;
    std::string out;
    out.reserve(path.size());
    RelativePath::appendEachComponent(out, path, [&](std::string_view component) {
        if (mayStrip(component)) {
            out.append(stripComponent(component, trimmed));
        } else {
            out.append(component);
        }
    });
    if (trimmed.empty()) {
        return false;
    }
    path = std::move(out);
    for (FileTransformationIssue& issue : issues) {
        if (const auto* earlier = issue.getIf<FileTransformationIssue::TrimmedCharacters>()) {
            std::vector<std::string> components = earlier->components;
            for (std::string& component : trimmed) {
                if (!containsCanonically(components, component)) {
                    components.push_back(std::move(component));
                }
            }
            issue = FileTransformationIssue::TrimmedCharacters {std::move(components)};
            return true;
        }
    }
    issues.emplace_back(FileTransformationIssue::TrimmedCharacters {std::move(trimmed)});
    return true;
}

std::string PerItemPasses::stripComponent(std::string_view component, std::vector<std::string>& trimmed) const
{
    if (component.empty()) {
        return std::string();
    }
    std::string_view rest = component;
    if (!m_stripLeadingCharacters.empty()) {
        std::size_t cut = 0;
        // With ASCII members only, the first character must be a member byte.
        if (!m_stripLeadingCharacters.asciiOnly() || m_stripLeadingCharacters.containsAsciiByte(rest.front())) {
            text::forEachCharacter(rest, [&](std::string_view character, std::size_t offset) {
                if (!m_stripLeadingCharacters.contains(character)) {
                    return false;
                }
                cut = offset + character.size();
                return true;
            });
        }
        if (cut > 0) {
            rest.remove_prefix(cut);
            trimmed.emplace_back(component);
        }
    }
    if (!m_stripTrailingCharacters.empty()) {
        const std::size_t runStart = trailingStripRunStart(rest);
        if (runStart != std::string_view::npos) {
            rest = rest.substr(0, runStart);
            if (!containsCanonically(trimmed, component)) {
                trimmed.emplace_back(component);
            }
        }
    }
    if (rest.empty()) {
        return std::string(NameOperations::kEmptyComponentStandIn);
    }
    std::string stripped(rest);
    keepVisible(component, stripped);
    return stripped;
}

// --- Separator pass -------------------------------------------------------------------

bool PerItemPasses::hasSeparatorRun(std::string_view component) const
{
    // With ASCII separators only, a run of two separator characters is two
    // adjacent separator bytes; anything else needs the character walk.
    if (!m_repeatedSeparatorSet.asciiOnly()) {
        return true;
    }
    for (std::size_t i = 0; i + 1 < component.size(); ++i) {
        const auto a = static_cast<unsigned char>(component[i]);
        const auto b = static_cast<unsigned char>(component[i + 1]);
        if (a < 0x80 && b < 0x80 && m_asciiSeparatorRank[a] > 0 && m_asciiSeparatorRank[b] > 0) {
            return true;
        }
    }
    return false;
}

bool PerItemPasses::collapseRepeatedSeparators(std::string& path, Issues& issues) const
{
    if (m_repeatedSeparatorSet.empty()) {
        return false;
    }
    bool mayChange = false;
    RelativePath::forEachComponent(path, [&](std::string_view component) {
        mayChange = mayChange || (!component.empty() && hasSeparatorRun(component));
    });
    if (!mayChange) {
        return false;
    }
    std::string out;
    out.reserve(path.size());
    RelativePath::appendEachComponent(out, path, [&](std::string_view component) {
        if (component.empty() || !hasSeparatorRun(component)) {
            out.append(component);
        } else {
            out.append(collapseSeparatorRuns(component));
        }
    });
    if (out == path) {
        return false;
    }
    for (FileTransformationIssue& issue : issues) {
        if (const auto* earlier = issue.getIf<FileTransformationIssue::RepeatedSeparators>()) {
            issue = FileTransformationIssue::RepeatedSeparators {earlier->from, out};
            path = std::move(out);
            return true;
        }
    }
    issues.emplace_back(FileTransformationIssue::RepeatedSeparators {path, out});
    path = std::move(out);
    return true;
}

std::string PerItemPasses::collapseSeparatorRuns(std::string_view text) const
{
    if (m_repeatedSeparatorSet.empty()) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::string_view pending;
    std::int64_t pendingRank = 0;
    text::forEachCharacter(text, [&](std::string_view character, std::size_t) {
        const std::int64_t rank = separatorRankOf(character);
        if (rank == 0) {
            out.append(pending);
            pending = {};
            out.append(character);
        } else if (pending.empty()) {
            pending = character;
            pendingRank = rank;
        } else if (rank > pendingRank) {
            pending = character;
            pendingRank = rank;
        }
        return true;
    });
    out.append(pending);
    keepVisible(text, out);
    return out;
}

}  // namespace tess
