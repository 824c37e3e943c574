#pragma once

#include "core/Error.h"
#include "plist/PlistValue.h"
#include "rules/FilesystemCapabilities.h"
#include "rules/TranslationEntry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace tess {

// The 13 destination presets. The declaration order is the order of every
// picker; the raw value is the stored form and the name shown.
class FilesystemPreset {
public:
    enum Value : std::uint8_t {
        fat,  // "FAT"
        ntfs,  // "NTFS"
        udf,  // "UDF"
        smb,  // "SMB"
        hfs,  // "HFS+"
        apfs,  // "APFS"
        googleDrive,  // "Google Drive"
        nfs,  // "NFS"
        dropbox,  // "Dropbox"
        oneDrive,  // "OneDrive"
        sharePoint,  // "SharePoint"
        s3,  // "S3"
        ext4,  // "ext4"
    };

    constexpr FilesystemPreset(Value value)
        : m_value(value)
    {
    }
    constexpr operator Value() const { return m_value; }

    std::string_view rawValue() const;
    // Exact, case-sensitive match of a raw value; nothing otherwise.
    static std::optional<FilesystemPreset> fromRawValue(std::string_view raw);
    static const std::array<FilesystemPreset, 13>& allCases();

    // True for nfs, s3 and ext4.
    bool defaultCaseSensitive() const;
    // What the preset allows; a missing case-sensitivity choice takes
    // defaultCaseSensitive(); presets that fix it ignore the choice.
    FilesystemCapabilities capabilities(std::optional<bool> caseSensitive = std::nullopt) const;
    // The entries that replace the preset's illegal characters (each to "_").
    const std::vector<TranslationEntry>& defaultTranslationEntries() const;

    PlistValue encode() const;
    static Result<FilesystemPreset> decode(const PlistValue& value);

private:
    Value m_value;
};

}  // namespace tess

template <>
struct std::hash<tess::FilesystemPreset> {
    std::size_t operator()(tess::FilesystemPreset p) const noexcept { return static_cast<std::size_t>(p); }
};
