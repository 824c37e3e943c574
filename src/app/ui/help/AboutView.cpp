#include "ui/help/AboutView.h"

#include "ui/help/AboutTexts.h"
#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"
#include "ui/widgets/Workspace.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QSvgRenderer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>

// Resources of a static library register only when asked.
static void initAppIconResources()
{
    Q_INIT_RESOURCE(appicon);
}

namespace tess {

const QString& AboutView::applicationIconResource()
{
    static const QString path = [] {
        initAppIconResources();
        return QStringLiteral(":/app/app.quenby.Tessaline.svg");
    }();
    return path;
}

namespace {

constexpr int kBoxWidth = 300;
constexpr int kInset = 20;
constexpr int kSpacing = 8;
constexpr int kIconSize = 128;
constexpr qreal kIconCornerRadius = 16.0;
constexpr int kDividerInset = 40;
constexpr int kAcknowledgmentsInset = 20;
constexpr int kCloseGap = 8;
constexpr int kAnimationMilliseconds = 200;
constexpr int kLinkSymbolSize = 14;

// The application icon at `size` logical pixels, corners clipped; null when
// the image cannot be read.
QPixmap applicationIcon(int size, qreal devicePixelRatio)
{
    QSvgRenderer renderer(AboutView::applicationIconResource());
    if (!renderer.isValid()) {
        return {};
    }
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath corners;
    corners.addRoundedRect(QRectF(0, 0, size, size), kIconCornerRadius, kIconCornerRadius);
    painter.setClipPath(corners);
    renderer.render(&painter, QRectF(0, 0, size, size));
    return pixmap;
}

QFont bold(QFont font)
{
    font.setBold(true);
    return font;
}

QLabel* makeLabel(const QString& text, const QFont& font)
{
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* makeSecondaryLabel(const QString& text, const QFont& font)
{
    QLabel* label = makeLabel(text, font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

struct Credit {
    const char* library;
    const char* license;
};

// The libraries the application and its daemon link, with their licences.
constexpr Credit kCredits[] = {
    {"Qt", "LGPL-3.0"},
    {"ICU", "Unicode License"},
    {"SQLite", "Public domain"},
    {"libplist", "LGPL-2.1"},
    {"libacl", "LGPL-2.1"},
    {"libdbus", "AFL-2.1 or GPL-2.0"},
};

}  // namespace

AboutView::AboutView(std::function<void()> close, Workspace& workspace, const QVariantMap& info, QWidget* parent)
    : QWidget(parent)
    , m_close(std::move(close))
    , m_workspace(workspace)
    , m_box(new QWidget(this))
    , m_animation(new QVariantAnimation(this))
{
    setObjectName(QStringLiteral("aboutView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(kInset, kInset, kInset, kInset);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->addWidget(m_box);

    m_box->setObjectName(QStringLiteral("aboutBox"));
    m_box->setFixedWidth(kBoxWidth);
    auto* layout = new QVBoxLayout(m_box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);

    addTitleBlock(*layout, info);

    auto* divider = new QWidget;
    divider->setFixedSize(kBoxWidth - 2 * kDividerInset, 1);
    divider->setAutoFillBackground(true);
    divider->setBackgroundRole(QPalette::Mid);
    layout->addWidget(divider, 0, Qt::AlignHCenter);

    m_websiteButton = makeLinkButton(QString::fromLatin1(kWebsiteAddress), font());
    m_websiteButton->setObjectName(QStringLiteral("websiteButton"));
    connect(m_websiteButton, &QToolButton::clicked, this, [this] { openAddress(QString::fromLatin1(kWebsiteAddress)); });
    layout->addWidget(m_websiteButton, 0, Qt::AlignHCenter);

    m_toggleButton = makeLinkButton(AboutTexts::acknowledgmentsTitle(false), theme::captionFont(font()));
    m_toggleButton->setObjectName(QStringLiteral("acknowledgmentsButton"));
    connect(m_toggleButton, &QToolButton::clicked, this, &AboutView::toggleAcknowledgments);
    layout->addWidget(m_toggleButton, 0, Qt::AlignHCenter);

    m_acknowledgments = makeAcknowledgments();
    m_acknowledgments->hide();
    layout->addWidget(m_acknowledgments);

    addCloseButton(*layout);

    setUpHeightAnimation();
    applyColors();
}

// The icon, the name, the version and the copyright line.
void AboutView::addTitleBlock(QVBoxLayout& layout, const QVariantMap& info)
{
    if (const QPixmap icon = applicationIcon(kIconSize, devicePixelRatioF()); !icon.isNull()) {
        auto* iconLabel = new QLabel;
        iconLabel->setObjectName(QStringLiteral("iconLabel"));
        iconLabel->setPixmap(icon);
        layout.addWidget(iconLabel, 0, Qt::AlignHCenter);
    }

    QFont nameFont = bold(font());
    nameFont.setPointSizeF(24);
    QLabel* name = makeLabel(QStringLiteral("Tessaline"), nameFont);
    name->setObjectName(QStringLiteral("nameLabel"));
    layout.addWidget(name, 0, Qt::AlignHCenter);

    const QFont subheadline = theme::scaledFont(font(), 11);
    QLabel* version = makeSecondaryLabel(AboutTexts::versionString(info), subheadline);
    version->setObjectName(QStringLiteral("versionLabel"));
    layout.addWidget(version, 0, Qt::AlignHCenter);
    QLabel* copyright = makeSecondaryLabel(QStringLiteral("© 2026 Quenby"), subheadline);
    copyright->setObjectName(QStringLiteral("copyrightLabel"));
    layout.addWidget(copyright, 0, Qt::AlignHCenter);
}

// "Close", which Return also presses wherever the focus is in the window.
void AboutView::addCloseButton(QVBoxLayout& layout)
{
    layout.addStretch(1);
    layout.addSpacing(kCloseGap);
    auto* closeButton = new QPushButton(QStringLiteral("Close"));
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, [this] { m_close(); });
    layout.addWidget(closeButton, 0, Qt::AlignHCenter);

    // Return closes the box wherever the focus is in its window.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this, [this] { m_close(); });
    }
}

// The box grows and shrinks smoothly when the acknowledgments are toggled.
void AboutView::setUpHeightAnimation()
{
    m_box->setFixedHeight(fittingHeight(false));
    m_animation->setDuration(kAnimationMilliseconds);
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_animation, &QVariantAnimation::valueChanged, this,
        [this](const QVariant& height) { m_box->setFixedHeight(height.toInt()); });
    // The acknowledgments appear once the box has room for them.
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        m_acknowledgments->setVisible(m_acknowledgmentsShown);
    });
}

QWidget* AboutView::makeAcknowledgments()
{
    auto* block = new QWidget;
    block->setObjectName(QStringLiteral("acknowledgmentsBlock"));
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(kAcknowledgmentsInset, 0, kAcknowledgmentsInset, 0);
    layout->setSpacing(4);

    const QFont caption = theme::captionFont(font());
    QLabel* credit = makeSecondaryLabel(
        QStringLiteral("Tessaline is built with these open-source libraries, each under its own license:"), caption);
    credit->setObjectName(QStringLiteral("creditLabel"));
    credit->setWordWrap(true);
    layout->addWidget(credit);

    auto* libraries = new QWidget;
    libraries->setObjectName(QStringLiteral("creditsTable"));
    auto* grid = new QGridLayout(libraries);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    int row = 0;
    for (const Credit& entry : kCredits) {
        grid->addWidget(makeLabel(QString::fromLatin1(entry.library), bold(caption)), row, 0);
        grid->addWidget(makeSecondaryLabel(QString::fromLatin1(entry.license), caption), row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    layout->addWidget(libraries);

    m_licenseButton = makeLinkButton(QStringLiteral("View License"), caption);
    m_licenseButton->setObjectName(QStringLiteral("licenseButton"));
    connect(m_licenseButton, &QToolButton::clicked, this, [this] { openAddress(QString::fromLatin1(kLicensesAddress)); });
    layout->addWidget(m_licenseButton, 0, Qt::AlignLeft);
    return block;
}

QToolButton* AboutView::makeLinkButton(const QString& text, const QFont& buttonFont)
{
    auto* button = new QToolButton;
    button->setText(QString(text).replace(u'&', QStringLiteral("&&")));
    button->setFont(buttonFont);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void AboutView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void AboutView::toggleAcknowledgments()
{
    m_acknowledgmentsShown = !m_acknowledgmentsShown;
    m_toggleButton->setText(AboutTexts::acknowledgmentsTitle(m_acknowledgmentsShown));
    if (!m_acknowledgmentsShown) {
        m_acknowledgments->hide();
    }
    m_animation->stop();
    m_animation->setStartValue(m_box->maximumHeight());
    m_animation->setEndValue(fittingHeight(m_acknowledgmentsShown));
    m_animation->start();
}

int AboutView::fittingHeight(bool acknowledgmentsShown) const
{
    // The box's own height, or its content's when a large system font needs
    // more, so nothing is ever squeezed.
    QLayout* layout = m_box->layout();
    int content = layout->hasHeightForWidth() ? layout->totalHeightForWidth(kBoxWidth) : layout->totalMinimumSize().height();
    const int block = kSpacing
        + (m_acknowledgments->hasHeightForWidth() ? m_acknowledgments->heightForWidth(kBoxWidth)
                                                  : m_acknowledgments->sizeHint().height());
    const bool counted = !m_acknowledgments->isHidden();
    if (acknowledgmentsShown && !counted) {
        content += block;
    } else if (!acknowledgmentsShown && counted) {
        content -= block;
    }
    return std::max(AboutTexts::boxHeight(acknowledgmentsShown), content);
}

void AboutView::openAddress(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty()) {
        m_workspace.openUrl(url);
    }
}

void AboutView::applyColors()
{
    const QColor link = palette().color(QPalette::Link);
    for (QToolButton* button : {m_websiteButton, m_toggleButton, m_licenseButton}) {
        theme::setColor(*button, link, QPalette::ButtonText);
    }
    m_websiteButton->setIcon(QIcon(symbol::pixmap(
        "arrow.down.circle", QSize(kLinkSymbolSize, kLinkSymbolSize), link, devicePixelRatioF())));
}

}  // namespace tess
