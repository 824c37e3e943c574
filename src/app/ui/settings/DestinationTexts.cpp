#include "ui/settings/DestinationTexts.h"

#include "rules/ControlCharacters.h"
#include "rules/OSCapabilities.h"
#include "rules/TransformationSettings.h"

#include <algorithm>

namespace tess {

namespace {

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Names sorted by code point: QString's own ordering is by UTF-16 unit,
// which differs above U+FFFF; these names are ASCII, but the rule holds.
QStringList sortedByCodePoint(QStringList names)
{
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.toUcs4() < b.toUcs4();
    });
    return names;
}

QString noLimitOr(std::int64_t value, const QString& suffix)
{
    if (value == kNoLimit) {
        return QStringLiteral("\u221E");
    }
    return QString::number(value) + suffix;
}

}  // namespace

QString clientOSMenuText(const std::set<OSPreset>& systems)
{
    if (systems.empty()) {
        return QStringLiteral("None");
    }
    if (systems.size() == OSPreset::allCases().size()) {
        return QStringLiteral("All");
    }
    QStringList names;
    for (OSPreset system : systems) {
        names.append(fromView(system.rawValue()));
    }
    return sortedByCodePoint(names).join(QStringLiteral(", "));
}

QString filesystemMenuTitle(bool isDetecting, const std::optional<DestinationConfig>& destination,
    std::optional<FilesystemPreset> selected)
{
    if (isDetecting) {
        return QStringLiteral("Probing\u2026");
    }
    if (destination && destination->folder() != nullptr) {
        return QStringLiteral("Probed: ") + QString::fromStdString(destination->displayName());
    }
    if (selected) {
        return fromView(selected->rawValue());
    }
    return QStringLiteral("None");
}

QString filesystemMenuSymbolName(const std::optional<DestinationConfig>& destination)
{
    if (destination && destination->folder() != nullptr) {
        return QStringLiteral("scope");
    }
    return QStringLiteral("externaldrive");
}

QString encodingIdentifier(TargetEncoding encoding)
{
    switch (encoding) {
    case TargetEncoding::asciiOnly:
        return QStringLiteral("asciiOnly");
    case TargetEncoding::utf8Basic:
        return QStringLiteral("utf8Basic");
    case TargetEncoding::utf8Full:
        return QStringLiteral("utf8Full");
    case TargetEncoding::utf8FullNFC:
        return QStringLiteral("utf8FullNFC");
    }
    return {};
}

QString probedPathLengthText(std::int64_t probedLength, std::optional<std::string_view> probedPath)
{
    if (probedLength == kNoLimit) {
        return QStringLiteral("\u221E (no limit found)");
    }
    if (!probedPath) {
        return QString::number(probedLength) + QStringLiteral(" bytes");
    }
    const auto base = static_cast<std::int64_t>(probedPath->size());
    // A probed length is never negative, so the difference cannot overflow.
    const std::int64_t content = std::max<std::int64_t>(probedLength - base, 0);
    return QString::number(probedLength) + QStringLiteral(" bytes (") + QString::number(content)
        + QStringLiteral(" content + ") + QString::number(base) + QStringLiteral(" base)");
}

QStringList osesImposingPathCap(const std::set<OSPreset>& systems, std::int64_t cap)
{
    QStringList names;
    for (OSPreset system : systems) {
        const std::optional<OSPathLimit> limit = system.capabilities().maxPathLength;
        const bool imposes = limit ? limit->defaultValue() == cap : cap == kNoLimit;
        if (imposes) {
            names.append(fromView(system.rawValue()));
        }
    }
    return sortedByCodePoint(names);
}

std::optional<QString> osPathLengthCapNote(std::int64_t probedLength, const std::set<OSPreset>& systems)
{
    if (systems.empty()) {
        return std::nullopt;
    }
    const std::optional<OSPathLimit> combined = TransformationSettings::combineOSCapabilities(systems).maxPathLength;
    if (!combined || combined->defaultValue() >= probedLength) {
        return std::nullopt;
    }
    const std::int64_t cap = combined->defaultValue();
    const QStringList names = osesImposingPathCap(systems, cap);
    const QString who = names.isEmpty() ? QStringLiteral("selected OS") : names.join(QStringLiteral(", "));
    return QStringLiteral("(capped to ") + QString::number(cap) + QStringLiteral(" by ") + who + QStringLiteral(")");
}

QString illegalCharactersText(const CodePointSet& illegalCharacters)
{
    QStringList kept;
    for (char32_t c = 0x20; c <= 0x7E; ++c) {
        if (illegalCharacters.count(c) != 0 && !ControlCharacters::contains(c)) {
            kept.append(QChar(static_cast<char16_t>(c)));
        }
    }
    if (kept.isEmpty()) {
        return QStringLiteral("(none beyond control chars)");
    }
    return kept.join(u' ');
}

std::vector<CapabilityRow> capabilityRows(const FilesystemCapabilities& capabilities,
    std::optional<std::string_view> probedPath, const std::set<OSPreset>& systems)
{
    return {
        {QStringLiteral("Case-sensitive"), capabilities.isCaseSensitive ? QStringLiteral("Yes") : QStringLiteral("No"), std::nullopt},
        {QStringLiteral("Encoding"), encodingIdentifier(capabilities.encodingCapability), std::nullopt},
        {QStringLiteral("Max filename length"), noLimitOr(capabilities.maxFilenameLength, QStringLiteral(" bytes")), std::nullopt},
        {QStringLiteral("Max path depth"), noLimitOr(capabilities.maxPathDepth, QString()), std::nullopt},
        {QStringLiteral("Max path length"), probedPathLengthText(capabilities.maxPathLength, probedPath),
            osPathLengthCapNote(capabilities.maxPathLength, systems)},
        {QStringLiteral("Illegal characters"), illegalCharactersText(capabilities.illegalCharacters), std::nullopt},
    };
}

}  // namespace tess
