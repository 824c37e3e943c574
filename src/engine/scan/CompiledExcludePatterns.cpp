#include "scan/CompiledExcludePatterns.h"

#include "text/Text.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cctype>
#include <optional>
#include <utility>

namespace tess {

namespace {

bool isPrintableAscii(std::string_view s)
{
    for (char c : s) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) {
            return false;
        }
    }
    return true;
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whole-name wildcard match of printable ASCII texts, ignoring ASCII case. For
// such texts it answers exactly what the compiled wildcard expression answers,
// without ICU.
bool asciiGlobMatches(std::string_view glob, std::string_view name)
{
    std::size_t g = 0;
    std::size_t n = 0;
    std::size_t starGlob = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (g < glob.size() && glob[g] == '*') {
            starGlob = g++;
            starName = n;
        } else if (g < glob.size() && (glob[g] == '?' || asciiLower(glob[g]) == asciiLower(name[n]))) {
            ++g;
            ++n;
        } else if (starGlob != std::string_view::npos) {
            g = starGlob + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == '*') {
        ++g;
    }
    return g == glob.size();
}

std::string caseFolded(std::string_view text)
{
    if (text::isAscii(text)) {
        std::string folded(text);
        for (char& c : folded) {
            c = asciiLower(c);
        }
        return folded;
    }
    const std::string normalised = text::nfc(text);
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(normalised.data(), static_cast<int32_t>(normalised.size())));
    unicode.foldCase();
    std::string folded;
    unicode.toUTF8String(folded);
    return folded;
}

// The wildcard text as a regular expression: every character literal except
// "*" (".*") and "?" ("."), anchored at both ends.
std::string wildcardExpression(std::string_view pattern)
{
    std::string expression = "^";
    for (char c : pattern) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '*') {
            expression += ".*";
        } else if (c == '?') {
            expression += '.';
        } else if (byte < 0x80 && byte > 0x20 && byte != 0x7F && !(std::isalnum(byte) != 0)) {
            expression += '\\';
            expression += c;
        } else {
            expression += c;
        }
    }
    expression += '$';
    return expression;
}

std::shared_ptr<const icu::RegexPattern> compileRegex(const std::string& expression)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError {};
    const icu::UnicodeString source = icu::UnicodeString::fromUTF8(icu::StringPiece(expression.data(), static_cast<int32_t>(expression.size())));
    std::unique_ptr<icu::RegexPattern> pattern(icu::RegexPattern::compile(source, UREGEX_CASE_INSENSITIVE, parseError, status));
    if (U_FAILURE(status) || pattern == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<const icu::RegexPattern>(pattern.release());
}

struct SlashPattern {
    bool isRegex = false;
    std::string inner;
};

// "/expr/" with at least 3 characters (graphemes) is a regular expression.
SlashPattern slashPattern(std::string_view text)
{
    if (text.size() < 3 || text.front() != '/' || text.back() != '/') {
        return {};
    }
    std::vector<std::string_view> characters;
    text::forEachGrapheme(text, [&](std::string_view character) {
        characters.push_back(character);
        return true;
    });
    if (characters.size() < 3 || characters.front() != "/" || characters.back() != "/") {
        return {};
    }
    const std::size_t begin = characters.front().size();
    const std::size_t end = text.size() - characters.back().size();
    return {true, std::string(text.substr(begin, end - begin))};
}

}  // namespace

struct CompiledExcludePatterns::Compiled {
    struct Regex {
        std::string source;
        std::shared_ptr<const icu::RegexPattern> pattern;
        // Set for a wildcard written in printable ASCII.
        std::optional<std::string> asciiGlob;
    };
    std::vector<Regex> regexes;
    std::vector<std::string> exact;
    std::vector<std::string> exactFolded;
};

struct CompiledExcludePatterns::Matcher::State {
    std::shared_ptr<const Compiled> compiled;
    std::vector<std::unique_ptr<icu::RegexMatcher>> matchers;
};

CompiledExcludePatterns::CompiledExcludePatterns()
    : m_compiled(std::make_shared<const Compiled>())
{
}

CompiledExcludePatterns CompiledExcludePatterns::compile(const std::vector<std::string>& patterns)
{
    auto compiled = std::make_shared<Compiled>();
    for (const std::string& text : patterns) {
        if (SlashPattern slash = slashPattern(text); slash.isRegex) {
            if (auto pattern = compileRegex(text::nfc(slash.inner))) {
                compiled->regexes.push_back({slash.inner, std::move(pattern), std::nullopt});
            }
        } else if (text.find_first_of("*?") != std::string::npos) {
            std::string expression = wildcardExpression(text::nfc(text));
            if (auto pattern = compileRegex(expression)) {
                std::optional<std::string> glob;
                if (isPrintableAscii(text)) {
                    glob = text;
                }
                compiled->regexes.push_back({std::move(expression), std::move(pattern), std::move(glob)});
            }
        } else {
            compiled->exact.push_back(text);
            compiled->exactFolded.push_back(caseFolded(text::toValidUtf8(text)));
        }
    }
    CompiledExcludePatterns result;
    result.m_compiled = std::move(compiled);
    return result;
}

std::vector<std::string> CompiledExcludePatterns::regexPatterns() const
{
    std::vector<std::string> sources;
    for (const auto& regex : m_compiled->regexes) {
        sources.push_back(regex.source);
    }
    return sources;
}

const std::vector<std::string>& CompiledExcludePatterns::exactPatterns() const
{
    return m_compiled->exact;
}

bool CompiledExcludePatterns::isExcluded(std::string_view name) const
{
    Matcher matcher(*this);
    return matcher.isExcluded(name);
}

CompiledExcludePatterns::Matcher::Matcher(const CompiledExcludePatterns& patterns)
    : m_state(std::make_unique<State>())
{
    m_state->compiled = patterns.m_compiled;
    m_state->matchers.resize(m_state->compiled->regexes.size());
}

CompiledExcludePatterns::Matcher::~Matcher() = default;
CompiledExcludePatterns::Matcher::Matcher(Matcher&&) noexcept = default;
CompiledExcludePatterns::Matcher& CompiledExcludePatterns::Matcher::operator=(Matcher&&) noexcept = default;

bool CompiledExcludePatterns::Matcher::isExcluded(std::string_view name)
{
    const Compiled& compiled = *m_state->compiled;
    if (compiled.regexes.empty() && compiled.exact.empty()) {
        return false;
    }
    const bool asciiName = isPrintableAscii(name);
    std::optional<icu::UnicodeString> unicodeName;
    for (std::size_t i = 0; i < compiled.regexes.size(); ++i) {
        const auto& regex = compiled.regexes[i];
        if (asciiName && regex.asciiGlob) {
            if (asciiGlobMatches(*regex.asciiGlob, name)) {
                return true;
            }
            continue;
        }
        if (!unicodeName) {
            const std::string valid = text::nfc(text::toValidUtf8(name));
            unicodeName = icu::UnicodeString::fromUTF8(icu::StringPiece(valid.data(), static_cast<int32_t>(valid.size())));
        }
        auto& matcher = m_state->matchers[i];
        UErrorCode status = U_ZERO_ERROR;
        if (!matcher) {
            matcher.reset(regex.pattern->matcher(status));
            if (U_FAILURE(status) || !matcher) {
                matcher.reset();
                continue;
            }
        }
        matcher->reset(*unicodeName);
        if (matcher->find(status) && U_SUCCESS(status)) {
            return true;
        }
    }
    if (!compiled.exact.empty()) {
        const std::string folded = caseFolded(text::toValidUtf8(name));
        for (const std::string& exact : compiled.exactFolded) {
            if (exact == folded) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace tess
