#include "analysis/FileTransformationIssue.h"

namespace tess {

namespace {

constexpr std::array<std::string_view, FileTransformationIssue::kKindCount> kKeys = {
    "characterTransformed",
    "collision",
    "encodingTransformed",
    "filenameTooLong",
    "filenameUnresolvable",
    "folderNameTooLong",
    "pathShortened",
    "pathTooDeep",
    "pathTooLong",
    "repeatedSeparators",
    "reservedName",
    "trimmedCharacters",
};

static_assert(std::variant_size_v<FileTransformationIssue::Payload> == FileTransformationIssue::kKindCount);

}  // namespace

std::string_view FileTransformationIssue::keyOf(Kind kind)
{
    return kKeys.at(static_cast<std::size_t>(kind));
}

std::optional<FileTransformationIssue::Kind> FileTransformationIssue::kindFromKey(std::string_view key)
{
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        if (kKeys[i] == key) {
            return static_cast<Kind>(i);
        }
    }
    return std::nullopt;
}

const std::array<FileTransformationIssue::Kind, FileTransformationIssue::kKindCount>& FileTransformationIssue::allKinds()
{
    static const std::array<Kind, kKindCount> kinds = [] {
        std::array<Kind, kKindCount> all {};
        for (std::size_t i = 0; i < kKindCount; ++i) {
            all[i] = static_cast<Kind>(i);
        }
        return all;
    }();
    return kinds;
}

}  // namespace tess
