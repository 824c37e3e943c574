#include "ui/settings/HelpContent.h"

namespace tess {

QString HelpPoint::markup() const
{
    if (description.isEmpty()) {
        return QStringLiteral("**") + label + QStringLiteral("**");
    }
    return QStringLiteral("**") + label + QStringLiteral("** \u2014 ") + description;
}

const HelpContent& HelpContent::destination()
{
    static const HelpContent content {
        QStringLiteral("Destination Capabilities"),
        QStringLiteral("Define the filesystem and operating systems where renamed files will be stored. "
                       "Tessaline combines the most restrictive limits from both."),
        {{
            {QStringLiteral("Client OS"),
                QStringLiteral("Select one or more target operating systems. Each OS adds its own reserved names, "
                               "illegal characters, and path length limits on top of the filesystem rules."),
                {}},
            {QStringLiteral("Filesystem"),
                QStringLiteral("The storage format (NTFS, APFS, ext4, etc.). Determines case sensitivity, "
                               "filename length limits, and which characters are physically allowed."),
                {}},
            {QStringLiteral("Case-sensitive"),
                QStringLiteral("Shown next to the filesystem picker when the filesystem supports both modes "
                               "(APFS, SMB, NTFS, NFS, HFS+, UDF). The toggle chooses which variant of the "
                               "filesystem to target and preloads the analyzer's \"Allow case conflicts\" setting "
                               "under Limits. Like every setting filled in by the pickers, it can be overridden "
                               "afterwards under Limits."),
                {}},
            {QStringLiteral("Limits"),
                QStringLiteral("Override or tighten the analyzer behavior preloaded by the destination pickers. "
                               "File and folder name lengths are measured in UTF-8 bytes; path length is the byte "
                               "count of the whole path, not counting the source folder. Unchecking a number field "
                               "removes that limit."),
                {
                    QStringLiteral("Allow case conflicts \u2014 When on, names differing only in case "
                                   "(e.g. Photo.jpg vs photo.jpg) are treated as distinct. When off, such names are "
                                   "flagged as collisions and the duplicate gets a numeric suffix. The value is loaded "
                                   "from the destination's case sensitivity (set by the toggle next to the filesystem "
                                   "picker, or forced for filesystems that support only one mode) and can be edited "
                                   "here."),
                    QStringLiteral("File name and folder name limits auto-resolve \u2014 names that exceed the limit "
                                   "are truncated (preserving the file extension)."),
                    QStringLiteral("Path length only flags issues \u2014 it cannot auto-resolve because the total path "
                                   "is a compound of many components. To fix long paths, shorten individual file/folder "
                                   "names, reduce nesting depth, or restructure the folder hierarchy manually."),
                }},
            {QStringLiteral("Reserved names"),
                QStringLiteral("Names the destination OS treats as reserved (e.g. CON, NUL, PRN, AUX, COM1\u20139, "
                               "LPT1\u20139 on Windows). Files matching any entry are flagged as issues and renamed "
                               "during analysis. The list is loaded from the selected operating systems; entries can "
                               "be added or removed here."),
                {}},
        }},
        QStringLiteral("**Important:** Changing either picker replaces the translation table, limits, reserved names, "
                       "and other capability-derived settings with values computed from the new selection. The text "
                       "encoding survives picker changes; it is set on its own in the Preferences card. Custom "
                       "translation-table entries and manual overrides of settings are lost as well. To keep your "
                       "customizations, save the settings as a preset first, or make manual adjustments after "
                       "choosing the target."),
    };
    return content;
}

const HelpContent& HelpContent::preferences()
{
    static const HelpContent content {
        QStringLiteral("Preferences"),
        QStringLiteral("User preferences for how filenames are transformed during analysis. These preferences survive "
                       "changes of the destination pickers; changes take effect at the next Reanalyze."),
        {
            {
                {QStringLiteral("Text encoding"),
                    QStringLiteral("Controls Unicode handling for the output. Every supported filesystem accepts UTF-8 "
                                   "in practice, so this is a user choice rather than a destination capability."),
                    {
                        QStringLiteral("ASCII Only \u2014 Transliterates non-Latin scripts to Latin (e.g., \u4E2D\u6587 "
                                       "\u2192 zhong wen), strips diacritics (caf\u00E9 \u2192 cafe), and removes "
                                       "anything outside 7-bit ASCII. Best for maximum compatibility."),
                        QStringLiteral("UTF-8 Basic \u2014 Allows characters in the Basic Multilingual Plane (BMP) only. "
                                       "Strips emoji and supplementary-plane characters."),
                        QStringLiteral("UTF-8 Full \u2014 Full Unicode passthrough with no normalization."),
                        QStringLiteral("UTF-8 Full (NFC) \u2014 Normalizes to NFC (precomposed). Base characters and "
                                       "diacritics are combined into single code points where possible (e followed by a "
                                       "combining acute accent becomes \u00E9). NFC is the standard for web content, "
                                       "network protocols, and Windows and Linux, and is recommended for files moved to "
                                       "systems other than macOS. Note: the macOS Finder and the Cocoa file APIs "
                                       "decompose names to NFD on later moves or renames, so NFC lasts only until "
                                       "something else touches the file through the standard macOS interfaces."),
                    }},
            },
            {
                {QStringLiteral("Strip leading/trailing"),
                    QStringLiteral("Removes specified characters from the start or end of each filename component. "
                                   "Trailing spaces and dots are stripped by default because Windows Explorer silently "
                                   "drops them."),
                    {}},
                {QStringLiteral("Clean repeated separators"),
                    QStringLiteral("After all other transformations, collapses runs of consecutive separator characters "
                                   "down to a single instance. Examples: file__name \u2192 file_name, photo--2 \u2192 "
                                   "photo-2, data...csv \u2192 data.csv. The character list sets the precedence order: "
                                   "earlier characters win when a mixed run collapses, so with the order `. > - > _` "
                                   "the name `a_._b` becomes `a.b`."),
                    {}},
                {QStringLiteral("Auto cleanup"),
                    QStringLiteral("Three categories of implicit per-character cleanup applied at the lowest priority of "
                                   "the translation table. All three are on by default; turning a category off preserves "
                                   "those characters. For finer control, turn the category off and add specific entries "
                                   "to the translation table."),
                    {
                        QStringLiteral("Strip control characters \u2014 Removes non-printable bytes (U+0000\u2013U+001F, "
                                       "U+007F, U+0080\u2013U+009F)."),
                        QStringLiteral("Normalize Unicode whitespace \u2014 Converts space variants (NBSP, narrow no-break "
                                       "space U+202F, en/em space, ideographic space, etc.) to a regular ASCII space. "
                                       "Disable to preserve U+202F, used in Apple screenshot timestamps."),
                        QStringLiteral("Strip invisible characters \u2014 Removes zero-width and invisible characters "
                                       "(ZWSP, ZWJ, BOM, soft hyphen, directional marks, etc.)."),
                    }},
                {QStringLiteral("Path tools"),
                    QStringLiteral("Optional path-level transformations applied during rename:"),
                    {
                        QStringLiteral("Smart path shortening \u2014 When a path exceeds the path length limit, "
                                       "selectively shorten its components rather than failing the rename. Only acts "
                                       "when a path length limit is set in Limits and a path actually exceeds it."),
                        QStringLiteral("Clean up empty directories after flatten \u2014 When the path depth limit forces "
                                       "files to be flattened into a parent directory, remove any directories left empty "
                                       "by the move. Only relevant when a path depth limit is set and files are "
                                       "flattened."),
                    }},
            },
        },
        {},
    };
    return content;
}

const HelpContent& HelpContent::translationTable()
{
    static const HelpContent content {
        QStringLiteral("Translation Table"),
        QStringLiteral("Character substitution rules applied to every filename during analysis. Each entry maps one or "
                       "more source characters to a replacement string."),
        {{
            {QStringLiteral("Pipeline order"),
                QStringLiteral("Encoding is applied first (transliteration, NFC/NFD normalization), then the translation "
                               "table, then leading/trailing strip, then separator cleanup, then length constraints."),
                {}},
            {QStringLiteral("Multi-character keys"),
                QStringLiteral("Longer keys are matched first to prevent partial matches. For example, \"%20\" matches "
                               "before \"%\"."),
                {}},
            {QStringLiteral("Implicit baseline"),
                QStringLiteral("Control characters, deceptive whitespace (non-breaking space, em-space, etc.), and "
                               "zero-width invisibles are merged into the table at the lowest priority by default. Each "
                               "category can be turned off in the Preferences card under Auto cleanup. For finer "
                               "control, turn a category off there and add specific entries here."),
                {}},
            {QStringLiteral("Preset entries"),
                QStringLiteral("When you select a filesystem and OS, their illegal characters are automatically added "
                               "to the table. Your custom entries take priority over preset entries."),
                {}},
            {QStringLiteral("Empty replacement"),
                QStringLiteral("Set \"Replace With\" to empty to delete the character entirely."),
                {}},
        }},
        {},
    };
    return content;
}

}  // namespace tess
