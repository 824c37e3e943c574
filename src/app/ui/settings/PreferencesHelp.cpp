#include "ui/settings/PreferencesHelp.h"

#include "ui/settings/HelpContent.h"
#include "ui/settings/HelpPopover.h"
#include "ui/settings/SettingsCardParts.h"
#include "ui/widgets/Theme.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tess::preferencesHelp {

namespace {

using settingsCard::plainLabel;

constexpr int kExamplePatternWidth = 160;

struct Example {
    const char* pattern;
    const char* description;
};

constexpr Example kExamples[] = {
    {"*.tmp", "All .tmp files"},
    {"*.bak", "All .bak files"},
    {"node_modules", "node_modules directories and all contents"},
    {"__pycache__", "Python cache directories and all contents"},
    {"Thumbs.db", "Windows thumbnail cache files"},
    {"/^~\\$.*\\.docx$/", "Word lock files (~$*.docx)"},
    {"backup_?", "backup_1, backup_A, etc."},
};

// Adds to a help popover the rows that its fixed content has no place for.
QVBoxLayout* popoverLayout(HelpPopover& popover)
{
    return qobject_cast<QVBoxLayout*>(popover.layout());
}

HelpContent excludePatternsContent()
{
    HelpContent content;
    content.title = QStringLiteral("Exclude Patterns");
    content.introduction = QStringLiteral("Patterns match against filenames only, not full paths. Matching is case-insensitive.");
    content.lists = {{
        {QStringLiteral("Glob patterns"), QStringLiteral("Use * for any characters, ? for a single character"), {}},
        {QStringLiteral("Regex patterns"), QStringLiteral("Wrap in forward slashes: /pattern/"), {}},
        {QStringLiteral("Exact names"), QStringLiteral("A pattern without wildcards or slashes matches a specific name"), {}},
        {QStringLiteral("Directory matching"), QStringLiteral("When a directory matches, its entire subtree is excluded"), {}},
    }};
    return content;
}

// One row of the examples: the pattern in monospace, its meaning beside it.
QHBoxLayout* exampleRow(const Example& example, QWidget* table, const QFont& base)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    QLabel* pattern = plainLabel(table, QString::fromUtf8(example.pattern));
    pattern->setFont(theme::monospacedCaptionFont(base));
    pattern->setFixedWidth(kExamplePatternWidth);
    pattern->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QLabel* description = plainLabel(table, QString::fromUtf8(example.description));
    description->setFont(theme::captionFont(base));
    description->setForegroundRole(QPalette::PlaceholderText);
    description->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(pattern, 0, Qt::AlignVCenter);
    row->addWidget(description, 1, Qt::AlignVCenter);
    return row;
}

// The "Examples" heading and its table, below a divider.
void addExamples(HelpPopover& popover)
{
    QVBoxLayout* layout = popoverLayout(popover);
    layout->addWidget(settingsCard::divider(&popover));
    QLabel* heading = plainLabel(&popover, QStringLiteral("Examples"));
    heading->setFont(settingsCard::subheadlineFont(popover.font()));
    layout->addWidget(heading);

    auto* table = new QWidget(&popover);
    auto* rows = new QVBoxLayout(table);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    for (const Example& example : kExamples) {
        rows->addLayout(exampleRow(example, table, popover.font()));
    }
    layout->addWidget(table);
}

HelpContent implicitExclusionsContent()
{
    HelpContent content;
    content.title = QStringLiteral("Implicit Exclusions");
    content.introduction = QStringLiteral("The following items are always excluded from scanning, regardless of exclude patterns:");
    content.lists = {{
        {QStringLiteral("Hidden files and directories"),
            QStringLiteral("Any name starting with \".\" (e.g. .git, .DS_Store, .Spotlight-V100). For directories, the "
                           "entire subtree is skipped."),
            {}},
        {QStringLiteral("macOS packages"),
            QStringLiteral("Bundles the system flags as packages (e.g. .app, .framework, .bundle, .plugin, .appex, "
                           ".xcodeproj, .photoslibrary, .pages, .numbers, .key, .rtfd). Both the package itself and its "
                           "contents are skipped."),
            {}},
    }};
    return content;
}

}  // namespace

HelpPopover* excludePatterns(QWidget* anchor)
{
    auto* popover = new HelpPopover(excludePatternsContent(), anchor);
    popover->setObjectName(QStringLiteral("excludePatternsHelpPopover"));
    addExamples(*popover);
    return popover;
}

HelpPopover* implicitExclusions(QWidget* anchor)
{
    auto* popover = new HelpPopover(implicitExclusionsContent(), anchor);
    popover->setObjectName(QStringLiteral("implicitExclusionsHelpPopover"));
    QLabel* note = plainLabel(popover,
        QStringLiteral("These items are not analyzed and will not appear in the issues list. This protects system "
                       "metadata, application bundles, and document packages from being modified."));
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);
    note->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    popoverLayout(*popover)->addWidget(note);
    return popover;
}

}  // namespace tess::preferencesHelp
