#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

// Component arithmetic on relative paths ("/" between components, no leading
// "/"). Splitting at every "/" keeps empty components (a text between two
// "/" or at either end) unless a function says otherwise. Every index into a
// path's components is checked against its component count.
class RelativePath final {
public:
    RelativePath() = delete;

    static std::vector<std::string> split(std::string_view path);
    static std::vector<std::string> splitNonEmpty(std::string_view path);
    static std::string join(const std::vector<std::string>& components);
    // Components [0, count) joined with "/" (all of them when count is larger).
    static std::string joinFirst(const std::vector<std::string>& components, std::size_t count);

    // The text after the last "/" (the whole path without "/").
    static std::string_view lastComponent(std::string_view path);
    // The text before the last "/" (empty without "/").
    static std::string_view parentPart(std::string_view path);
    // parent + "/" + name, or name alone when parent is empty.
    static std::string child(std::string_view parent, std::string_view name);

    // Number of components, empty ones included ("/" count + 1).
    static std::size_t componentCount(std::string_view path);
    static std::size_t nonEmptyComponentCount(std::string_view path);
    // The first `count` components joined with "/"; nothing (empty) when the
    // path has fewer components.
    static std::string prefix(std::string_view path, std::size_t count);

    // Calls fn(component) for each text between "/" (empty ones included).
    template <class Fn>
    static void forEachComponent(std::string_view path, Fn&& fn)
    {
        std::size_t start = 0;
        while (true) {
            const std::size_t slash = path.find('/', start);
            if (slash == std::string_view::npos) {
                fn(path.substr(start));
                return;
            }
            fn(path.substr(start, slash - start));
            start = slash + 1;
        }
    }
    // Rebuilds a path in `out`: appends "/" before every component but the
    // first, then calls fn(component), which appends what the component
    // becomes.
    template <class Fn>
    static void appendEachComponent(std::string& out, std::string_view path, Fn&& fn)
    {
        bool first = true;
        forEachComponent(path, [&](std::string_view component) {
            if (!first) {
                out.push_back('/');
            }
            first = false;
            fn(component);
        });
    }

    // Whether a proposed path stands for the original one: canonically
    // equivalent texts are equal, and an original that is not valid UTF-8
    // equals only its own bytes (its Windows-1252 reading is a new name).
    static bool equivalent(std::string_view proposed, std::string_view original);
};

}  // namespace tess
