#include "rules/FilesystemPreset.h"

#include "core/RawValueEnum.h"

#include "coding/ValueDecoder.h"
#include "rules/ControlCharacters.h"
#include "rules/OSPreset.h"
#include "rules/TranslationTable.h"

#include <string_view>

namespace tess {

namespace {

std::vector<TranslationEntry> underscoreEntries(std::initializer_list<const char*> characters)
{
    std::vector<TranslationEntry> out;
    for (const char* c : characters) {
        out.push_back(TranslationEntry {c, "_"});
    }
    return out;
}

enum class CaseRule { given,
    alwaysFalse,
    alwaysTrue };

struct PresetRow {
    std::u32string_view literals;
    CaseRule caseRule;
    std::int64_t maxFilenameLength;
    std::int64_t maxPathDepth;
    std::int64_t maxPathLength;
    bool dotNamesReserved;
};

PresetRow rowOf(FilesystemPreset preset)
{
    using namespace std::string_view_literals;
    constexpr std::u32string_view kSlashNul = U"/\0"sv;
    switch (preset) {
    case FilesystemPreset::fat:
        return {kSlashNul, CaseRule::alwaysFalse, 255, kNoLimit, kNoLimit, true};
    case FilesystemPreset::ntfs:
        return {kSlashNul, CaseRule::given, 255, kNoLimit, 32766, true};
    case FilesystemPreset::udf:
        return {kSlashNul, CaseRule::given, 254, kNoLimit, 32760, true};
    case FilesystemPreset::smb:
        return {kSlashNul, CaseRule::given, 255, kNoLimit, kNoLimit, true};
    case FilesystemPreset::hfs:
        return {U"/:"sv, CaseRule::given, 255, kNoLimit, 1023, true};
    case FilesystemPreset::apfs:
        return {U"/"sv, CaseRule::given, 255, kNoLimit, 1023, true};
    case FilesystemPreset::googleDrive:
        return {{}, CaseRule::alwaysFalse, 255, 20, kNoLimit, false};
    case FilesystemPreset::nfs:
        return {kSlashNul, CaseRule::given, 255, kNoLimit, 1023, true};
    case FilesystemPreset::dropbox:
        return {{}, CaseRule::alwaysFalse, 255, kNoLimit, kNoLimit, false};
    case FilesystemPreset::oneDrive:
        return {U"\"*:<>?\\|#%"sv, CaseRule::alwaysFalse, 400, kNoLimit, 400, false};
    case FilesystemPreset::sharePoint:
        return {U"\"*:<>?\\|#%{}"sv, CaseRule::alwaysFalse, 400, kNoLimit, 400, false};
    case FilesystemPreset::s3:
        return {{}, CaseRule::alwaysTrue, 1023, kNoLimit, 1023, false};
    case FilesystemPreset::ext4:
        return {kSlashNul, CaseRule::alwaysTrue, 255, kNoLimit, 4095, true};
    }
    return {{}, CaseRule::given, kNoLimit, kNoLimit, kNoLimit, false};
}

}  // namespace

std::string_view FilesystemPreset::rawValue() const
{
    switch (m_value) {
    case fat:
        return "FAT";
    case ntfs:
        return "NTFS";
    case udf:
        return "UDF";
    case smb:
        return "SMB";
    case hfs:
        return "HFS+";
    case apfs:
        return "APFS";
    case googleDrive:
        return "Google Drive";
    case nfs:
        return "NFS";
    case dropbox:
        return "Dropbox";
    case oneDrive:
        return "OneDrive";
    case sharePoint:
        return "SharePoint";
    case s3:
        return "S3";
    case ext4:
        return "ext4";
    }
    return {};
}

std::optional<FilesystemPreset> FilesystemPreset::fromRawValue(std::string_view raw)
{
    return caseWithRawValue<FilesystemPreset>(raw);
}

const std::array<FilesystemPreset, 13>& FilesystemPreset::allCases()
{
    static constexpr std::array<FilesystemPreset, 13> kAll {
        fat, ntfs, udf, smb, hfs, apfs, googleDrive, nfs, dropbox, oneDrive, sharePoint, s3, ext4};
    return kAll;
}

bool FilesystemPreset::defaultCaseSensitive() const
{
    return m_value == nfs || m_value == s3 || m_value == ext4;
}

FilesystemCapabilities FilesystemPreset::capabilities(std::optional<bool> caseSensitive) const
{
    const bool given = caseSensitive.value_or(defaultCaseSensitive());
    const PresetRow row = rowOf(*this);
    FilesystemCapabilities caps;
    switch (row.caseRule) {
    case CaseRule::given:
        caps.isCaseSensitive = given;
        break;
    case CaseRule::alwaysFalse:
        caps.isCaseSensitive = false;
        break;
    case CaseRule::alwaysTrue:
        caps.isCaseSensitive = true;
        break;
    }
    caps.encodingCapability = TargetEncoding::utf8Full;
    caps.maxFilenameLength = row.maxFilenameLength;
    caps.maxPathDepth = row.maxPathDepth;
    caps.maxPathLength = row.maxPathLength;
    caps.illegalCharacters = ControlCharacters::set();
    caps.illegalCharacters.insert(row.literals.begin(), row.literals.end());
    if (row.dotNamesReserved) {
        caps.reservedNames = {".", ".."};
    }
    caps.supportsPosixPermissions = true;
    caps.supportsExtendedAttributes = false;
    caps.supportsACLs = false;
    return caps;
}

const std::vector<TranslationEntry>& FilesystemPreset::defaultTranslationEntries() const
{
    static const std::vector<TranslationEntry> kNone;
    static const std::vector<TranslationEntry> kSlash = underscoreEntries({"/"});
    static const std::vector<TranslationEntry> kHfs = TranslationTable::mergeEntries(underscoreEntries({":"}), kSlash);
    static const std::vector<TranslationEntry> kOneDrive = TranslationTable::mergeEntries(underscoreEntries({"#", "%"}),
        OSPreset(OSPreset::windows).defaultTranslationEntries());
    static const std::vector<TranslationEntry> kSharePoint = TranslationTable::mergeEntries(underscoreEntries({"{", "}"}), kOneDrive);
    switch (m_value) {
    case fat:
    case ntfs:
    case udf:
    case smb:
    case apfs:
    case nfs:
    case ext4:
        return kSlash;
    case hfs:
        return kHfs;
    case oneDrive:
        return kOneDrive;
    case sharePoint:
        return kSharePoint;
    case googleDrive:
    case dropbox:
    case s3:
        return kNone;
    }
    return kNone;
}

PlistValue FilesystemPreset::encode() const
{
    return PlistValue(std::string(rawValue()));
}

Result<FilesystemPreset> FilesystemPreset::decode(const PlistValue& value)
{
    return ValueDecoder::decodeRawValue<FilesystemPreset>(value, "FilesystemPreset", fromRawValue);
}

}  // namespace tess
