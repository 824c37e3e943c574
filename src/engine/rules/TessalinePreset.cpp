#include "rules/TessalinePreset.h"

#include "coding/KeyedDecoder.h"
#include "coding/KeyedEncoder.h"
#include "text/Text.h"

namespace tess {

const TessalinePreset& TessalinePreset::crossPlatformFileServer()
{
    static const TessalinePreset kPreset = [] {
        TransformationSettings settings = TransformationSettings::make(FilesystemPreset::smb, false,
            {OSPreset::windows, OSPreset::macOS, OSPreset::linux});
        settings.stripTrailingCharacters = {" ", "."};
        settings.cleanRepeatedSeparators = true;
        return TessalinePreset {Uuid::random(), "Cross Platform File Server", std::move(settings), true};
    }();
    return kPreset;
}

const TessalinePreset& TessalinePreset::strictShellSafe()
{
    static const TessalinePreset kPreset = [] {
        TransformationSettings settings = TransformationSettings::defaultSettings();
        settings.selectedOperatingSystems = {OSPreset::linux};
        settings.applyPresetAndOSCapabilities();
        settings.translationTable.entries = TranslationTable::mergeEntries(TranslationTable::shellSafeEntries(), shellEntries());
        settings.targetEncoding = TargetEncoding::asciiOnly;
        settings.maxFilenameLength = 255;
        settings.maxFolderNameLength = 255;
        settings.stripLeadingCharacters = {" ", "#", "-"};
        settings.stripTrailingCharacters = {" ", "."};
        settings.cleanRepeatedSeparators = true;
        return TessalinePreset {Uuid::random(), "Strict Shell Safe", std::move(settings), true};
    }();
    return kPreset;
}

const std::vector<TessalinePreset>& TessalinePreset::builtInPresets()
{
    static const std::vector<TessalinePreset> kPresets {crossPlatformFileServer(), strictShellSafe()};
    return kPresets;
}

const std::vector<TranslationEntry>& TessalinePreset::shellEntries()
{
    static const std::vector<TranslationEntry> kEntries {
        {" ", "_"},
        {"!", "_"},
        {"\"", "_"},
        {"$", "_"},
        {"'", "_"},
        {"*", "_"},
        {";", "_"},
        {"<", "_"},
        {">", "_"},
        {"?", "_"},
        {"@", "_"},
        {"[", "-"},
        {"]", "-"},
        {"`", "_"},
        {"{", "-"},
        {"}", "-"},
        {"|", "_"},
        {"\\", "_"},
        {"(", "-"},
        {")", "-"},
        {"&", "_and_"},
    };
    return kEntries;
}

bool operator==(const TessalinePreset& a, const TessalinePreset& b)
{
    return a.id == b.id && text::canonicallyEqual(a.name, b.name) && a.settings == b.settings && a.isBase == b.isBase;
}

PlistValue TessalinePreset::encode() const
{
    KeyedEncoder out;
    out.encode("id", id.encode());
    out.encode("name", PlistValue(name));
    out.encode("settings", settings.encode());
    out.encode("isBase", PlistValue(isBase));
    return out.take();
}

Result<TessalinePreset> TessalinePreset::decode(const PlistValue& value)
{
    auto in = KeyedDecoder::container(value);
    if (!in.ok()) {
        return in.error();
    }
    auto id = in->decode<Uuid>("id", Uuid::decode);
    if (!id.ok()) {
        return id.error();
    }
    auto name = in->decodeString("name");
    if (!name.ok()) {
        return name.error();
    }
    auto settings = in->decode<TransformationSettings>("settings", TransformationSettings::decode);
    if (!settings.ok()) {
        return settings.error();
    }
    auto isBase = in->decodeBool("isBase");
    if (!isBase.ok()) {
        return isBase.error();
    }
    return TessalinePreset {*id, std::move(name).value(), std::move(settings).value(), *isBase};
}

}  // namespace tess
