#include "rules/DestinationConfig.h"

#include "core/HexDigit.h"

#include "coding/DecodingError.h"
#include "coding/KeyedDecoder.h"
#include "coding/KeyedEncoder.h"
#include "coding/ValueDecoder.h"
#include "text/Text.h"

#include <cstring>

namespace tess {

namespace {

bool keptInUrl(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::strchr("-._~/!$&'()*+,;=:@", c) != nullptr && c != '\0';
}

}  // namespace

DestinationConfig DestinationConfig::physicalFolder(std::string folderPath)
{
    return DestinationConfig(ConfigType::physicalFolder, PhysicalFolder {std::move(folderPath)},
        PresetFilesystem {FilesystemPreset::fat, false});
}

DestinationConfig DestinationConfig::presetFilesystem(FilesystemPreset preset, bool caseSensitive)
{
    return DestinationConfig(ConfigType::presetFilesystem, PhysicalFolder {}, PresetFilesystem {preset, caseSensitive});
}

DestinationConfig::ConfigType DestinationConfig::type() const
{
    return m_type;
}

bool operator==(const DestinationConfig& a, const DestinationConfig& b)
{
    if (a.m_type != b.m_type) {
        return false;
    }
    return a.m_type == DestinationConfig::ConfigType::physicalFolder ? a.m_folder == b.m_folder : a.m_preset == b.m_preset;
}

std::string DestinationConfig::displayName() const
{
    if (m_type == ConfigType::presetFilesystem) {
        return std::string(m_preset.preset.rawValue());
    }
    std::string_view path = m_folder.path;
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    if (path == "/") {
        return "/";
    }
    const std::size_t slash = path.rfind('/');
    if (slash != std::string_view::npos) {
        path.remove_prefix(slash + 1);
    }
    return text::toValidUtf8(path);
}

std::string_view DestinationConfig::rawValue(ConfigType type)
{
    return type == ConfigType::physicalFolder ? "physicalFolder" : "presetFilesystem";
}

std::optional<DestinationConfig::ConfigType> DestinationConfig::configTypeFromRawValue(std::string_view raw)
{
    if (raw == "physicalFolder") {
        return ConfigType::physicalFolder;
    }
    if (raw == "presetFilesystem") {
        return ConfigType::presetFilesystem;
    }
    return std::nullopt;
}

std::string DestinationConfig::fileUrlString(std::string_view absolutePath)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "file://";
    out.reserve(out.size() + absolutePath.size());
    for (char ch : absolutePath) {
        const auto c = static_cast<unsigned char>(ch);
        if (keptInUrl(c)) {
            out += ch;
        } else {
            out += '%';
            out += kDigits[c >> 4];
            out += kDigits[c & 0x0F];
        }
    }
    return out;
}

std::optional<std::string> DestinationConfig::pathFromFileUrl(std::string_view url)
{
    constexpr std::string_view kScheme = "file://";
    if (url.substr(0, kScheme.size()) != kScheme) {
        return std::nullopt;
    }
    url.remove_prefix(kScheme.size());
    if (url.substr(0, 9) == "localhost") {
        url.remove_prefix(9);
    }
    if (url.empty() || url.front() != '/') {
        return std::nullopt;
    }
    std::string path;
    path.reserve(url.size());
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] != '%') {
            path += url[i];
            continue;
        }
        if (i + 2 >= url.size()) {
            return std::nullopt;
        }
        const int high = hexDigitValue(url[i + 1]);
        const int low = hexDigitValue(url[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return path;
}

PlistValue DestinationConfig::encode() const
{
    KeyedEncoder out;
    if (m_type == ConfigType::physicalFolder) {
        out.encode("type", PlistValue(std::string(rawValue(ConfigType::physicalFolder))));
        out.encode("url", PlistValue(fileUrlString(m_folder.path)));
    } else {
        const PresetFilesystem& p = m_preset;
        out.encode("type", PlistValue(std::string(rawValue(ConfigType::presetFilesystem))));
        out.encode("preset", p.preset.encode());
        out.encode("caseSensitive", PlistValue(p.caseSensitive));
    }
    return out.take();
}

Result<DestinationConfig> DestinationConfig::decode(const PlistValue& value)
{
    auto in = KeyedDecoder::container(value);
    if (!in.ok()) {
        return in.error();
    }
    auto type = in->decode<ConfigType>("type", [](const PlistValue& v) {
        return ValueDecoder::decodeRawValue<ConfigType>(v, "ConfigType", configTypeFromRawValue);
    });
    if (!type.ok()) {
        return type.error();
    }
    if (*type == ConfigType::physicalFolder) {
        auto url = in->decodeString("url");
        if (!url.ok()) {
            return url.error();
        }
        std::optional<std::string> path = pathFromFileUrl(*url);
        if (!path) {
            return DecodingError::dataCorrupted("Invalid URL string.");
        }
        return physicalFolder(std::move(*path));
    }
    auto presetValue = in->decode<FilesystemPreset>("preset", FilesystemPreset::decode);
    if (!presetValue.ok()) {
        return presetValue.error();
    }
    auto caseSensitive = in->decodeBoolIfPresent("caseSensitive");
    if (!caseSensitive.ok()) {
        return caseSensitive.error();
    }
    return presetFilesystem(*presetValue, caseSensitive->value_or(presetValue->defaultCaseSensitive()));
}

}  // namespace tess
