#pragma once

#include "core/Error.h"
#include "plist/PlistValue.h"
#include "rules/FilesystemPreset.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tess {

// The chosen destination: a real folder, or a preset with the user's
// case-sensitivity choice.
//
// Coded form, a keyed container: {"type": "physicalFolder", "url": file URL}
// or {"type": "presetFilesystem", "preset": raw value, "caseSensitive": Bool}.
// The folder is written as its absolute "file://" URL string (percent-encoded
// path). A preset read without "caseSensitive" takes the preset's default.
class DestinationConfig {
public:
    enum class ConfigType { physicalFolder,
        presetFilesystem };

    struct PhysicalFolder {
        std::string path;  // absolute path of the folder
        friend bool operator==(const PhysicalFolder&, const PhysicalFolder&) = default;
    };
    struct PresetFilesystem {
        FilesystemPreset preset;
        bool caseSensitive;
        friend bool operator==(const PresetFilesystem&, const PresetFilesystem&) = default;
    };

    static DestinationConfig physicalFolder(std::string folderPath);
    static DestinationConfig presetFilesystem(FilesystemPreset preset, bool caseSensitive);

    ConfigType type() const;
    // Nullptr when the destination is of the other kind.
    const PhysicalFolder* folder() const { return m_type == ConfigType::physicalFolder ? &m_folder : nullptr; }
    const PresetFilesystem* preset() const { return m_type == ConfigType::presetFilesystem ? &m_preset : nullptr; }

    // The folder's own name (last path component), or the preset's raw value.
    std::string displayName() const;

    static std::string_view rawValue(ConfigType type);
    static std::optional<ConfigType> configTypeFromRawValue(std::string_view raw);

    // The absolute "file://" URL string of a path, and back (nothing when the
    // text is not a file URL of an absolute path).
    static std::string fileUrlString(std::string_view absolutePath);
    static std::optional<std::string> pathFromFileUrl(std::string_view url);

    PlistValue encode() const;
    static Result<DestinationConfig> decode(const PlistValue& value);

    // Folders by path, presets by preset and flag; a folder never equals a preset.
    friend bool operator==(const DestinationConfig& a, const DestinationConfig& b);

private:
    DestinationConfig(ConfigType type, PhysicalFolder folder, PresetFilesystem preset)
        : m_type(type)
        , m_folder(std::move(folder))
        , m_preset(preset)
    {
    }

    ConfigType m_type;
    PhysicalFolder m_folder;  // meaningful for a folder only
    PresetFilesystem m_preset;  // meaningful for a preset only
};

}  // namespace tess
