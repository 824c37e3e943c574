#include "ui/help/HelpView.h"

#include "rules/TargetEncoding.h"
#include "ui/widgets/Card.h"
#include "ui/widgets/MarkdownLite.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <string_view>

namespace tess {

namespace {

constexpr int kInset = 16;
constexpr int kSectionSpacing = 24;
constexpr int kSectionPartSpacing = 8;
constexpr int kColumnSpacing = 16;
constexpr int kRowSpacing = 6;
constexpr int kNameColumnMinimum = 90;
constexpr int kIllegalColumnMinimum = 80;
constexpr int kIllegalColumnMaximum = 180;
constexpr int kReservedColumnMaximum = 200;
constexpr int kOSIconSize = 14;
constexpr int kCaseSymbolSize = 11;
constexpr int kFootnoteInset = 4;

QFont withWeight(QFont font, QFont::Weight weight)
{
    font.setWeight(weight);
    return font;
}

QColor primaryColor(const QPalette& palette)
{
    return palette.color(QPalette::WindowText);
}

QColor secondaryColor(const QPalette& palette)
{
    return theme::secondaryLabel(palette);
}

QColor greenColor(const QPalette& palette)
{
    return namedColor(ColorName::brandGreen, palette);
}

// A symbol drawn in a colour taken from the palette each time it paints.
// Its accessible name is the symbol's name.
class SymbolView : public QWidget {
public:
    using Tint = QColor (*)(const QPalette&);

    SymbolView(std::string_view name, Tint tint, int size, QWidget* parent = nullptr)
        : QWidget(parent)
        , m_name(name)
        , m_tint(tint)
    {
        setObjectName(QStringLiteral("symbolView"));
        setAccessibleName(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
        setFixedSize(size, size);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        symbol::paint(painter, QRectF(rect()), m_name, m_tint(palette()));
    }

private:
    std::string_view m_name;
    Tint m_tint;
};

QWidget* makeDivider(QWidget* parent)
{
    auto* divider = new QWidget(parent);
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    divider->setBackgroundRole(QPalette::Mid);
    return divider;
}

std::string_view osSymbolName(OSPreset os)
{
    switch (os) {
    case OSPreset::windows:
        return "Windows";
    case OSPreset::macOS:
        return "apple.logo";
    case OSPreset::linux:
        return "Linux";
    }
    return "Linux";
}

QString encodingDescription(TargetEncoding encoding)
{
    switch (encoding) {
    case TargetEncoding::asciiOnly:
        return QStringLiteral("Transliterates international characters to 7-bit ASCII (e.g., é → e, ü → u). "
                              "Most restrictive — only allows characters 0–127.");
    case TargetEncoding::utf8Basic:
        return QStringLiteral("Allows all Basic Multilingual Plane characters but strips emoji and supplementary "
                              "plane characters (mathematical symbols, historic scripts, etc.).");
    case TargetEncoding::utf8Full:
        return QStringLiteral("Full Unicode with no normalization. Files that are not renamed keep their exact bytes "
                              "on disk, and files renamed for other reasons (illegal characters, length limits, "
                              "collisions) are written byte for byte as proposed, neither decomposed (NFD) nor "
                              "precomposed (NFC).");
    case TargetEncoding::utf8FullNFC:
        return QStringLiteral("Full Unicode with active NFC (precomposed) normalization. All renamed files are "
                              "normalized to NFC, the standard for web content, most network protocols and Windows "
                              "and Linux systems. Recommended for cross-platform workflows.");
    }
    return {};
}

QString fromStd(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

HelpView::HelpView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("helpView"));
    setMinimumSize(900, 500);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeaderBar());
    layout->addWidget(makeDivider(this));

    m_page = new QWidget;
    m_page->setObjectName(QStringLiteral("helpPage"));
    auto* pageLayout = new QVBoxLayout(m_page);
    pageLayout->setContentsMargins(kInset, kInset, kInset, kInset);
    pageLayout->setSpacing(kSectionSpacing);
    pageLayout->addWidget(makeFilesystemLimitsSection());
    pageLayout->addWidget(makeClientOSSection());
    pageLayout->addWidget(makeEncodingSection());
    pageLayout->addWidget(makeSpacesSection());
    pageLayout->addStretch(1);

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("helpScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidget(m_page);
    layout->addWidget(scroll, 1);

    applyColors();
}

QSize HelpView::sizeHint() const
{
    return {1064, 1100};
}

void HelpView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

QWidget* HelpView::makeHeaderBar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("headerBar"));
    bar->setAutoFillBackground(true);
    bar->setBackgroundRole(QPalette::Button);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(kInset, kInset, kInset, kInset);
    QLabel* title = makeLabel(QStringLiteral("Filesystem Capabilities Reference"), Qt::PlainText);
    title->setObjectName(QStringLiteral("headerLabel"));
    title->setFont(withWeight(font(), QFont::Bold));
    layout->addWidget(title);
    layout->addStretch(1);
    return bar;
}

QWidget* HelpView::makeSection(const QString& title, QVBoxLayout*& content)
{
    auto* section = new QWidget;
    content = new QVBoxLayout(section);
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(kSectionPartSpacing);
    QLabel* titleLabel = makeLabel(title, Qt::PlainText);
    titleLabel->setObjectName(QStringLiteral("sectionTitleLabel"));
    titleLabel->setFont(withWeight(theme::scaledFont(font(), 15), QFont::DemiBold));
    content->addWidget(titleLabel);
    return section;
}

QLabel* HelpView::makeLabel(const QString& text, Qt::TextFormat format)
{
    auto* label = new QLabel;
    label->setTextFormat(format);
    label->setText(text);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* HelpView::makeSecondaryLabel(const QString& text, Qt::TextFormat format)
{
    QLabel* label = makeLabel(text, format);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel* HelpView::makeNamedColorLabel(const QString& text, Qt::TextFormat format, ColorName color)
{
    QLabel* label = makeLabel(text, format);
    m_namedColorLabels.emplace_back(label, color);
    return label;
}

QWidget* HelpView::makeBulletRow(QLabel* text)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    QLabel* bullet = makeSecondaryLabel(QStringLiteral("\u2022"), Qt::PlainText);
    bullet->setFont(text->font());
    bullet->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    text->setWordWrap(true);
    text->setObjectName(QStringLiteral("bulletTextLabel"));
    layout->addWidget(bullet, 0, Qt::AlignTop);
    layout->addWidget(text, 1, Qt::AlignTop);
    return row;
}

QGridLayout* HelpView::addTable(
    QVBoxLayout& content, const QString& caption, const QString& tableName, const std::vector<QString>& titles)
{
    QLabel* captionLabel = makeSecondaryLabel(caption, Qt::PlainText);
    captionLabel->setWordWrap(true);
    content.addWidget(captionLabel);

    auto* card = new Card;
    auto* table = new QWidget;
    table->setObjectName(tableName);
    auto* grid = new QGridLayout(table);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(kColumnSpacing);
    grid->setVerticalSpacing(kRowSpacing);
    const QFont headerFont = withWeight(theme::captionFont(font()), QFont::DemiBold);
    const int columns = static_cast<int>(titles.size());
    for (int column = 0; column < columns; ++column) {
        QLabel* header = makeSecondaryLabel(titles[static_cast<std::size_t>(column)], Qt::PlainText);
        header->setFont(headerFont);
        grid->addWidget(header, 0, column, Qt::AlignLeft | Qt::AlignVCenter);
    }
    grid->addWidget(makeDivider(nullptr), 1, 0, 1, columns);
    card->contentLayout()->addWidget(table);
    content.addWidget(card);
    return grid;
}

QLabel* HelpView::makeCell(const std::string& text, const QFont& cellFont)
{
    QLabel* cell = makeLabel(fromStd(text), Qt::PlainText);
    cell->setFont(cellFont);
    return cell;
}

QLabel* HelpView::makeIllegalCharactersCell(const std::string& text, const QFont& cellFont)
{
    // On one line: the longest set fits the column's widest.
    QLabel* cell = makeCell(text, cellFont);
    cell->setMinimumWidth(kIllegalColumnMinimum);
    cell->setMaximumWidth(kIllegalColumnMaximum);
    return cell;
}

QLabel* HelpView::makeReservedCell(const std::string& text, const QFont& cellFont)
{
    // A long list wraps in a column of the widest width; a short one keeps
    // its own.
    QLabel* cell = makeCell(text, cellFont);
    if (cell->fontMetrics().horizontalAdvance(cell->text()) > kReservedColumnMaximum) {
        cell->setWordWrap(true);
        cell->setFixedWidth(kReservedColumnMaximum);
    }
    return cell;
}

QWidget* HelpView::makeCaseCell(HelpReference::CaseCell cell)
{
    using HelpReference::CaseCell;
    switch (cell) {
    case CaseCell::toggle: {
        QLabel* toggle = makeNamedColorLabel(QStringLiteral("Toggle"), Qt::PlainText, ColorName::brandIndigo);
        toggle->setFont(theme::captionFont(font()));
        return toggle;
    }
    case CaseCell::checkmark:
        return new SymbolView("checkmark", &greenColor, kCaseSymbolSize);
    case CaseCell::xmark:
        return new SymbolView("xmark", &secondaryColor, kCaseSymbolSize);
    case CaseCell::dash:
        break;
    }
    QLabel* dash = makeSecondaryLabel(QStringLiteral("—"), Qt::PlainText);
    dash->setFont(theme::captionFont(font()));
    return dash;
}

QWidget* HelpView::makeFilesystemLimitsSection()
{
    QVBoxLayout* content = nullptr;
    QWidget* section = makeSection(QStringLiteral("Filesystem Limits"), content);
    QGridLayout* grid = addTable(*content,
        QStringLiteral("These are strict filesystem constraints. Client OS restrictions are applied separately (see below)."),
        QStringLiteral("filesystemTable"),
        {QStringLiteral("Preset"), QStringLiteral("Case Sens."), QStringLiteral("Encoding"), QStringLiteral("Filename (B)"),
            QStringLiteral("Max Depth"), QStringLiteral("Path Len (B)"), QStringLiteral("Illegal Chars"),
            QStringLiteral("Reserved")});

    const QFont nameFont = withWeight(font(), QFont::Medium);
    const QFont captionFont = theme::captionFont(font());
    int row = 2;
    for (const HelpReference::FilesystemRow& preset : HelpReference::filesystemRows()) {
        QLabel* name = makeCell(preset.preset, nameFont);
        name->setMinimumWidth(kNameColumnMinimum);
        QLabel* illegal = makeIllegalCharactersCell(preset.illegalCharacters, captionFont);
        QLabel* reserved = makeReservedCell(preset.reserved, captionFont);
        const Qt::Alignment leading = Qt::AlignLeft | Qt::AlignVCenter;
        grid->addWidget(name, row, 0, leading);
        grid->addWidget(makeCaseCell(preset.caseCell), row, 1, leading);
        grid->addWidget(makeCell(preset.encoding, captionFont), row, 2, leading);
        grid->addWidget(makeCell(preset.filename, captionFont), row, 3, leading);
        grid->addWidget(makeCell(preset.depth, captionFont), row, 4, leading);
        grid->addWidget(makeCell(preset.pathLength, captionFont), row, 5, leading);
        grid->addWidget(illegal, row, 6, leading);
        grid->addWidget(reserved, row, 7, leading);
        ++row;
    }

    const QFont footnoteFont = theme::captionFont(font());
    for (const QString& text : {
             QStringLiteral("All length limits are in UTF-8 bytes. For ASCII names one character is one byte; "
                            "multi-byte characters (accented letters, CJK, emoji) take 2–4 bytes each. FAT stands for "
                            "FAT16, FAT32 and exFAT alike: their naming constraints are identical, they differ only in "
                            "file and volume size. The UDF name limit of 254 bytes corresponds to 127 UCS-2 characters "
                            "on disk."),
             QStringLiteral("SMB case sensitivity depends on server configuration. Most NAS devices and Samba shares "
                            "default to case-insensitive for Windows client compatibility, but can be configured "
                            "case-sensitive at the share or dataset level."),
         }) {
        QLabel* footnote = makeSecondaryLabel(text, Qt::PlainText);
        footnote->setObjectName(QStringLiteral("footnoteLabel"));
        footnote->setFont(footnoteFont);
        footnote->setWordWrap(true);
        footnote->setContentsMargins(kFootnoteInset, 0, kFootnoteInset, 0);
        content->addWidget(footnote);
    }
    return section;
}

QWidget* HelpView::makeClientOSSection()
{
    QVBoxLayout* content = nullptr;
    QWidget* section = makeSection(QStringLiteral("Client OS Restrictions"), content);
    QGridLayout* grid = addTable(*content,
        QStringLiteral("These are client-side restrictions imposed by each operating system, independent of the "
                       "underlying filesystem. When target operating systems are selected, the most restrictive union "
                       "of the filesystem and OS limits applies. Your own limits (filename length, folder length, "
                       "depth) can tighten these further but never loosen them."),
        QStringLiteral("osTable"),
        {QStringLiteral("OS"), QStringLiteral("Case Sens."), QStringLiteral("Max Filename"), QStringLiteral("Max Path Len"),
            QStringLiteral("Illegal Chars"), QStringLiteral("Reserved")});

    const QFont nameFont = withWeight(font(), QFont::Medium);
    const QFont captionFont = theme::captionFont(font());
    const Qt::Alignment leading = Qt::AlignLeft | Qt::AlignVCenter;
    int row = 2;
    for (const HelpReference::OSRow& os : HelpReference::osRows()) {
        auto* nameCell = new QWidget;
        nameCell->setMinimumWidth(kNameColumnMinimum);
        auto* nameLayout = new QHBoxLayout(nameCell);
        nameLayout->setContentsMargins(0, 0, 0, 0);
        nameLayout->setSpacing(4);
        nameLayout->addWidget(new SymbolView(osSymbolName(os.os), &primaryColor, kOSIconSize), 0, Qt::AlignVCenter);
        QLabel* name = makeCell(os.name, nameFont);
        name->setObjectName(QStringLiteral("osNameLabel"));
        nameLayout->addWidget(name, 0, Qt::AlignVCenter);
        nameLayout->addStretch(1);

        QLabel* illegal = makeIllegalCharactersCell(os.illegalCharacters, captionFont);
        QLabel* reserved = makeReservedCell(os.reserved, captionFont);
        grid->addWidget(nameCell, row, 0, leading);
        grid->addWidget(makeCaseCell(os.caseCell), row, 1, leading);
        grid->addWidget(makeCell(os.maxFilename, captionFont), row, 2, leading);
        grid->addWidget(makeCell(os.maxPathLength, captionFont), row, 3, leading);
        grid->addWidget(illegal, row, 4, leading);
        grid->addWidget(reserved, row, 5, leading);
        ++row;
    }
    return section;
}

QWidget* HelpView::makeProseSection(const QString& title, const QString& introduction, const QString& listName,
    int pointSpacing, const std::vector<QLabel*>& points, QLabel* closing)
{
    QVBoxLayout* content = nullptr;
    QWidget* section = makeSection(title, content);
    auto* card = new Card;
    card->contentLayout()->setSpacing(12);

    QLabel* intro = makeLabel(introduction, Qt::PlainText);
    intro->setWordWrap(true);
    card->contentLayout()->addWidget(intro);

    auto* list = new QWidget;
    list->setObjectName(listName);
    auto* listLayout = new QVBoxLayout(list);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(pointSpacing);
    const QFont callout = theme::scaledFont(font(), 12);
    for (QLabel* point : points) {
        point->setFont(callout);
        listLayout->addWidget(makeBulletRow(point));
    }
    card->contentLayout()->addWidget(list);

    closing->setFont(theme::captionFont(font()));
    closing->setWordWrap(true);
    card->contentLayout()->addWidget(closing);

    content->addWidget(card);
    return section;
}

QWidget* HelpView::makeEncodingSection()
{
    std::vector<QLabel*> points;
    for (const TargetEncoding encoding : TargetEncoding::allCases()) {
        const std::string_view raw = encoding.rawValue();
        const QString markup = QStringLiteral("**") + QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()))
            + QStringLiteral(":** ") + encodingDescription(encoding);
        points.push_back(makeLabel(markdownLiteToHtml(markup), Qt::RichText));
    }
    QLabel* warning = makeNamedColorLabel(
        markdownLiteToHtml(
            u"**Important: macOS and NFC normalization.** macOS decomposes every filename to NFD (Unicode "
            u"Normalization Form D) whenever it moves, copies or renames a file through the standard system "
            u"interfaces. NFC names written by Tessaline therefore revert to NFD when they are later moved, copied "
            u"or renamed with the Finder, Terminal commands (mv, cp) or any application using the standard macOS "
            u"file interfaces. NFC normalization is best suited to preparing files that go directly to non-macOS "
            u"systems (for example by rsync with suitable flags, or by direct disk writes)."),
        Qt::RichText, ColorName::warm);
    warning->setObjectName(QStringLiteral("nfcWarningLabel"));
    return makeProseSection(QStringLiteral("Unicode Encoding"),
        QStringLiteral("The encoding setting controls how Unicode characters are handled during analysis and renaming:"),
        QStringLiteral("encodingList"), 8, points, warning);
}

QWidget* HelpView::makeSpacesSection()
{
    std::vector<QLabel*> points;
    for (const QString& point : {
             QStringLiteral("Windows Explorer silently strips trailing spaces when creating or copying files"),
             QStringLiteral("Many command-line tools and scripts break when paths contain trailing spaces"),
             QStringLiteral("ZIP and tar archives may silently alter filenames with trailing spaces"),
             QStringLiteral("Cloud sync clients (Dropbox, OneDrive, Google Drive) may reject or rename these files"),
         }) {
        points.push_back(makeLabel(point, Qt::PlainText));
    }
    QLabel* note = makeSecondaryLabel(
        markdownLiteToHtml(u"The **Remove Trailing Spaces** and **Remove Leading Spaces** options flag these issues. "
                           u"Removing trailing spaces is enabled by default and recommended for any cross-platform "
                           u"workflow."),
        Qt::RichText);
    note->setObjectName(QStringLiteral("spacesNoteLabel"));
    return makeProseSection(QStringLiteral("Trailing & Leading Spaces"),
        QStringLiteral("Trailing spaces in filenames are not technically illegal on most filesystems, but they cause "
                       "widespread problems in practice:"),
        QStringLiteral("spacesList"), 6, points, note);
}

void HelpView::applyColors()
{
    for (const auto& [label, color] : m_namedColorLabels) {
        theme::setColor(*label, namedColor(color, palette()));
    }
}

}  // namespace tess
