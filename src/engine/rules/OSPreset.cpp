#include "rules/OSPreset.h"

#include "core/RawValueEnum.h"

#include "coding/ValueDecoder.h"
#include "rules/ControlCharacters.h"
#include "rules/OSCapabilities.h"

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

CodePointSet withControlSet(std::initializer_list<char32_t> literals)
{
    CodePointSet out = ControlCharacters::set();
    out.insert(literals.begin(), literals.end());
    return out;
}

}  // namespace

std::string_view OSPreset::rawValue() const
{
    switch (m_value) {
    case windows:
        return "Windows";
    case macOS:
        return "macOS";
    case linux:
        return "Linux";
    }
    return {};
}

std::optional<OSPreset> OSPreset::fromRawValue(std::string_view raw)
{
    return caseWithRawValue<OSPreset>(raw);
}

const std::array<OSPreset, 3>& OSPreset::allCases()
{
    static constexpr std::array<OSPreset, 3> kAll {windows, macOS, linux};
    return kAll;
}

OSCapabilities OSPreset::capabilities() const
{
    OSCapabilities caps;
    switch (m_value) {
    case windows:
        caps.isCaseSensitive = false;
        caps.maxPathLength = OSPathLimit::overridableDefault(259, 32766);
        caps.illegalCharacters = withControlSet({U'<', U'>', U':', U'"', U'|', U'?', U'*', U'\\', U'/'});
        caps.reservedNames = {"CON", "PRN", "AUX", "NUL", "CLOCK$",
            "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
            "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
        break;
    case macOS:
        caps.maxPathLength = OSPathLimit::hardLimit(1023);
        caps.illegalCharacters = withControlSet({U'/'});
        caps.reservedNames = {".", ".."};
        break;
    case linux:
        caps.maxPathLength = OSPathLimit::hardLimit(4095);
        caps.illegalCharacters = withControlSet({U'/'});
        caps.reservedNames = {".", ".."};
        break;
    }
    return caps;
}

const std::vector<TranslationEntry>& OSPreset::defaultTranslationEntries() const
{
    static const std::vector<TranslationEntry> kWindows = underscoreEntries({"<", ">", ":", "\"", "|", "?", "*", "\\", "/"});
    static const std::vector<TranslationEntry> kSlash = underscoreEntries({"/"});
    return m_value == windows ? kWindows : kSlash;
}

PlistValue OSPreset::encode() const
{
    return PlistValue(std::string(rawValue()));
}

Result<OSPreset> OSPreset::decode(const PlistValue& value)
{
    return ValueDecoder::decodeRawValue<OSPreset>(value, "OSPreset", fromRawValue);
}

}  // namespace tess
