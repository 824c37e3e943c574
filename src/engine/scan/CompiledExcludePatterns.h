#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// The user's exclude patterns in the form the folder walk tests names
// against. Three kinds of pattern text:
// - "/expr/" (at least 3 characters): the regular expression expr, searched
//   anywhere in the name, ignoring case;
// - a text holding "*" or "?": a wildcard that must cover the whole name,
//   ignoring case ("*" any run of characters, "?" exactly one, everything
//   else literal);
// - anything else: an exact name, compared ignoring case.
// A pattern that does not compile is left out without a message.
//
// The value is immutable and cheap to copy. Matching uses ICU matchers, which
// are not thread-safe: each thread makes its own Matcher.
class CompiledExcludePatterns {
public:
    CompiledExcludePatterns();

    static CompiledExcludePatterns compile(const std::vector<std::string>& patterns);

    // The regular expressions, as ICU pattern texts, in source order (slash
    // patterns and wildcards together).
    std::vector<std::string> regexPatterns() const;
    // The exact names, unchanged, in source order.
    const std::vector<std::string>& exactPatterns() const;

    // Tests one name (a last path component, raw bytes) against every pattern.
    class Matcher {
    public:
        explicit Matcher(const CompiledExcludePatterns& patterns);
        ~Matcher();
        Matcher(Matcher&&) noexcept;
        Matcher& operator=(Matcher&&) noexcept;
        Matcher(const Matcher&) = delete;
        Matcher& operator=(const Matcher&) = delete;

        bool isExcluded(std::string_view name);

    private:
        struct State;
        std::unique_ptr<State> m_state;
    };

    // One-off test; the walk keeps a Matcher per worker instead.
    bool isExcluded(std::string_view name) const;

    struct Compiled;

private:
    std::shared_ptr<const Compiled> m_compiled;
};

}  // namespace tess
