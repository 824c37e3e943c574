#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace tess {

// One problem the analyser found with an item, with what it did about it.
// The twelve kinds stand in a fixed order (their tags 0 to 11); their names
// are the issue-type keys stored in the file index and used by the views to
// filter and label, so they never change spelling.
class FileTransformationIssue {
public:
    enum class Kind : std::uint8_t {
        characterTransformed = 0,
        collision = 1,
        encodingTransformed = 2,
        filenameTooLong = 3,
        filenameUnresolvable = 4,
        folderNameTooLong = 5,
        pathShortened = 6,
        pathTooDeep = 7,
        pathTooLong = 8,
        repeatedSeparators = 9,
        reservedName = 10,
        trimmedCharacters = 11,
    };
    static constexpr std::size_t kKindCount = 12;

    // The translation table replaced or removed characters. `characters`
    // lists the distinct characters (grapheme clusters) that went; `from`
    // and `to` are the relative path before and after.
    struct CharacterTransformed {
        std::vector<std::string> characters;
        std::string from;
        std::string to;
        friend bool operator==(const CharacterTransformed&, const CharacterTransformed&) = default;
    };
    // The proposed path collided with another item's and was made unique.
    struct Collision {
        std::string conflictsWith;
        friend bool operator==(const Collision&, const Collision&) = default;
    };
    // The encoding conversion changed the path (relative path before, after).
    struct EncodingTransformed {
        std::string from;
        std::string to;
        friend bool operator==(const EncodingTransformed&, const EncodingTransformed&) = default;
    };
    // A file name longer than the file-name limit (UTF-8 bytes).
    struct FilenameTooLong {
        std::int64_t currentLength = 0;
        std::int64_t maxLength = 0;
        friend bool operator==(const FilenameTooLong&, const FilenameTooLong&) = default;
    };
    // A file name that cannot be fitted into the limit; `reason` is a sentence.
    struct FilenameUnresolvable {
        std::string reason;
        friend bool operator==(const FilenameUnresolvable&, const FilenameUnresolvable&) = default;
    };
    // A folder name longer than the folder-name limit (UTF-8 bytes).
    struct FolderNameTooLong {
        std::int64_t currentLength = 0;
        std::int64_t maxLength = 0;
        friend bool operator==(const FolderNameTooLong&, const FolderNameTooLong&) = default;
    };
    // Smart path shortening shortened the path (lengths in UTF-8 bytes).
    struct PathShortened {
        std::int64_t originalLength = 0;
        std::int64_t newLength = 0;
        friend bool operator==(const PathShortened&, const PathShortened&) = default;
    };
    // The path has more levels than allowed.
    struct PathTooDeep {
        std::int64_t currentDepth = 0;
        std::int64_t maxDepth = 0;
        friend bool operator==(const PathTooDeep&, const PathTooDeep&) = default;
    };
    // Destination root plus relative path is longer than the path limit.
    struct PathTooLong {
        std::int64_t currentLength = 0;
        std::int64_t maxLength = 0;
        friend bool operator==(const PathTooLong&, const PathTooLong&) = default;
    };
    // Runs of separator characters were collapsed (relative path before, after).
    struct RepeatedSeparators {
        std::string from;
        std::string to;
        friend bool operator==(const RepeatedSeparators&, const RepeatedSeparators&) = default;
    };
    // The name is reserved; `name` is the upper-cased name that matched.
    struct ReservedName {
        std::string name;
        friend bool operator==(const ReservedName&, const ReservedName&) = default;
    };
    // Leading or trailing characters were stripped; `components` lists the
    // path components as they were before stripping.
    struct TrimmedCharacters {
        std::vector<std::string> components;
        friend bool operator==(const TrimmedCharacters&, const TrimmedCharacters&) = default;
    };

    // The alternatives stand in tag order: index() == tag.
    using Payload = std::variant<CharacterTransformed, Collision, EncodingTransformed, FilenameTooLong,
        FilenameUnresolvable, FolderNameTooLong, PathShortened, PathTooDeep, PathTooLong, RepeatedSeparators,
        ReservedName, TrimmedCharacters>;

    // Any payload converts implicitly: `FileTransformationIssue{PathTooDeep{3, 3}}`.
    template <class T>
    requires std::is_constructible_v<Payload, T&&>
    FileTransformationIssue(T&& payload)
        : m_payload(std::forward<T>(payload))
    {
    }

    Kind kind() const { return static_cast<Kind>(m_payload.index()); }
    int tag() const { return static_cast<int>(m_payload.index()); }
    // The issue-type key of this issue's kind ("characterTransformed", ...).
    std::string_view key() const { return keyOf(kind()); }

    const Payload& payload() const { return m_payload; }
    template <class T>
    bool is() const { return std::holds_alternative<T>(m_payload); }
    template <class T>
    const T& as() const { return std::get<T>(m_payload); }
    template <class T>
    const T* getIf() const { return std::get_if<T>(&m_payload); }

    // The issue-type key of a kind, and the kind of a key (nothing for an
    // unknown key). Keys are compared byte for byte.
    static std::string_view keyOf(Kind kind);
    static std::optional<Kind> kindFromKey(std::string_view key);
    // Every kind in tag order.
    static const std::array<Kind, kKindCount>& allKinds();

    friend bool operator==(const FileTransformationIssue&, const FileTransformationIssue&) = default;

private:
    Payload m_payload;
};

}  // namespace tess
