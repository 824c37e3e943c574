#include "ui/widgets/Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionToolButton>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tess::theme {
namespace {

// Link colours that read on the windows of their palettes and of desktops
// of the same lightness (4.5:1).
constexpr QRgb kLightLink = 0x1964BF;
constexpr QRgb kDarkLink = 0x5AA2FF;

struct Roles {
    QColor window, windowText, base, alternateBase, text, button, buttonText, highlight, highlightedText, link, toolTipBase, toolTipText, mid, dark, light;
    QColor disabledText;
};

QPalette makePalette(const Roles& r)
{
    QPalette p;
    p.setColor(QPalette::Window, r.window);
    p.setColor(QPalette::WindowText, r.windowText);
    p.setColor(QPalette::Base, r.base);
    p.setColor(QPalette::AlternateBase, r.alternateBase);
    p.setColor(QPalette::Text, r.text);
    p.setColor(QPalette::Button, r.button);
    p.setColor(QPalette::ButtonText, r.buttonText);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, r.highlight);
    p.setColor(QPalette::HighlightedText, r.highlightedText);
    p.setColor(QPalette::Link, r.link);
    p.setColor(QPalette::ToolTipBase, r.toolTipBase);
    p.setColor(QPalette::ToolTipText, r.toolTipText);
    p.setColor(QPalette::Light, r.light);
    p.setColor(QPalette::Midlight, r.light);
    p.setColor(QPalette::Mid, r.mid);
    p.setColor(QPalette::Dark, r.dark);
    p.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, r.disabledText);
    }
    return withDerivedRoles(p);
}

constexpr QPalette::ColorGroup kGroups[] = {QPalette::Active, QPalette::Inactive, QPalette::Disabled};

// Lets every change of the application palette derive its roles again.
class DerivedRolesKeeper : public QObject {
public:
    explicit DerivedRolesKeeper(QObject* parent)
        : QObject(parent)
    {
        setObjectName(QStringLiteral("derivedRolesKeeper"));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange) {
            // Not from within the change: its propagation to the widgets is
            // still under way.
            QMetaObject::invokeMethod(this, &DerivedRolesKeeper::derive, Qt::QueuedConnection);
        }
        return false;
    }

private:
    static void derive()
    {
        const QPalette current = QApplication::palette();
        const QPalette derived = withDerivedRoles(current);
        if (!(derived == current)) {
            QApplication::setPalette(derived);
        }
    }
};

// How finely a colour is moved towards black or white to be readable.
constexpr int kReadableSteps = 20;
// The luminance that reads as well against black as against white.
constexpr double kMiddleLuminance = 0.18;
// The frame around a button's face, in pixels.
constexpr int kFrameWidth = 3;

QColor mixed(const QColor& from, const QColor& to, double share)
{
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    const auto mix = [share](float x, float y) { return static_cast<float>(x + (y - x) * share); };
    return QColor::fromRgbF(mix(a.redF(), b.redF()), mix(a.greenF(), b.greenF()), mix(a.blueF(), b.blueF()), a.alphaF());
}

double luminance(const QColor& color)
{
    const auto linear = [](float channel) {
        return channel <= 0.04045F ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

// `color` moved step by step away from the lightness of `other` (towards
// black when it is light, towards white when it is dark) until `reads`
// holds of it, or all the way.
template <class Reads>
QColor movedAwayFrom(const QColor& color, const QColor& other, Reads&& reads)
{
    const QColor target = luminance(other) > kMiddleLuminance ? QColor(Qt::black) : QColor(Qt::white);
    QColor result = color;
    for (int step = 1; step <= kReadableSteps && !reads(result); ++step) {
        result = mixed(color, target, static_cast<double>(step) / kReadableSteps);
    }
    return result;
}

}  // namespace

QPalette lightPalette()
{
    return makePalette({
        .window = QColor(0xECECEC),
        .windowText = QColor(0x1D1D1F),
        .base = QColor(0xFFFFFF),
        .alternateBase = QColor(0xF4F5F5),
        .text = QColor(0x1D1D1F),
        .button = QColor(0xF6F6F6),
        .buttonText = QColor(0x1D1D1F),
        .highlight = QColor(0x2F6FD0),
        .highlightedText = QColor(0xFFFFFF),
        .link = QColor(kLightLink),
        .toolTipBase = QColor(0xFFFFF0),
        .toolTipText = QColor(0x1D1D1F),
        .mid = QColor(0xB8B8B8),
        .dark = QColor(0x9A9A9A),
        .light = QColor(0xFFFFFF),
        .disabledText = QColor(0xA0A0A4),
    });
}

QPalette darkPalette()
{
    return makePalette({
        .window = QColor(0x2B2B2D),
        .windowText = QColor(0xE8E8EA),
        .base = QColor(0x1E1E20),
        .alternateBase = QColor(0x262628),
        .text = QColor(0xE8E8EA),
        .button = QColor(0x3A3A3C),
        .buttonText = QColor(0xE8E8EA),
        .highlight = QColor(0x3D7FE0),
        .highlightedText = QColor(0xFFFFFF),
        .link = QColor(kDarkLink),
        .toolTipBase = QColor(0x3A3A3C),
        .toolTipText = QColor(0xE8E8EA),
        .mid = QColor(0x4A4A4C),
        .dark = QColor(0x1A1A1C),
        .light = QColor(0x5A5A5C),
        .disabledText = QColor(0x6E6E72),
    });
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor secondaryLabel(const QPalette& palette, QPalette::ColorGroup group)
{
    return withOpacity(palette.color(group, QPalette::WindowText), 0.55);
}

QPalette withDerivedRoles(QPalette palette)
{
    const QColor window = palette.color(QPalette::Active, QPalette::Window);
    const QColor readableLink = QColor::fromRgb(isDark(palette) ? kDarkLink : kLightLink);
    for (const QPalette::ColorGroup group : kGroups) {
        palette.setColor(group, QPalette::PlaceholderText, secondaryLabel(palette, group));
        for (const QPalette::ColorRole role : {QPalette::Link, QPalette::LinkVisited}) {
            if (contrastRatio(palette.color(group, role), window) < 4.5) {
                palette.setColor(group, role, readableLink);
            }
        }
    }
    return palette;
}

void keepDerivedRolesInStep()
{
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (application == nullptr
        || application->findChild<QObject*>(QStringLiteral("derivedRolesKeeper"), Qt::FindDirectChildrenOnly) != nullptr) {
        return;
    }
    application->installEventFilter(new DerivedRolesKeeper(application));
}

double contrastRatio(const QColor& a, const QColor& b)
{
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor composite(const QColor& color, const QColor& background)
{
    const QColor over = color.toRgb();
    const QColor under = background.toRgb();
    const float alpha = over.alphaF();
    const auto mix = [alpha](float top, float bottom) { return top * alpha + bottom * (1.0F - alpha); };
    return QColor::fromRgbF(mix(over.redF(), under.redF()), mix(over.greenF(), under.greenF()), mix(over.blueF(), under.blueF()));
}

QColor warningOrange(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xFF9F0A) : QColor(0xE07800);
}

QFont scaledFont(const QFont& base, qreal parts)
{
    QFont font = base;
    if (base.pointSizeF() > 0) {
        font.setPointSizeF(base.pointSizeF() * parts / 13.0);
    } else {
        font.setPixelSize(std::max(1, static_cast<int>(base.pixelSize() * parts / 13.0)));
    }
    return font;
}

QFont captionFont(const QFont& base)
{
    return scaledFont(base, 10.0);
}

QFont monospacedCaptionFont(const QFont& base)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFont caption = captionFont(base);
    if (caption.pointSizeF() > 0) {
        font.setPointSizeF(caption.pointSizeF());
    } else {
        font.setPixelSize(caption.pixelSize());
    }
    return font;
}

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

void setColor(QWidget& widget, const QColor& color, QPalette::ColorRole role)
{
    QPalette palette = widget.palette();
    palette.setColor(role, color);
    widget.setPalette(palette);
}

QList<QColor> buttonFace(const QAbstractButton& button, const QPalette& colors, bool checked)
{
    const QSize size = button.height() >= 16 ? button.size() : button.sizeHint().expandedTo(QSize(16, 16));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(colors.color(QPalette::Window));
    QPainter painter(&image);
    QStyle* style = button.style();
    const QStyle::State raised = QStyle::State_Raised | (checked ? QStyle::State_On : QStyle::State_None);
    if (const auto* tool = qobject_cast<const QToolButton*>(&button)) {
        QStyleOptionToolButton option;
        option.initFrom(tool);
        option.subControls = QStyle::SC_ToolButton;
        option.toolButtonStyle = Qt::ToolButtonTextOnly;
        option.state |= tool->autoRaise() ? QStyle::State(QStyle::State_None) : raised;
        option.rect = image.rect();
        option.palette = colors;
        style->drawComplexControl(QStyle::CC_ToolButton, &option, &painter, tool);
    } else {
        QStyleOptionButton option;
        option.initFrom(&button);
        const auto* push = qobject_cast<const QPushButton*>(&button);
        option.state |= push != nullptr && push->isFlat() ? QStyle::State(QStyle::State_None) : raised;
        option.rect = image.rect();
        option.palette = colors;
        style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, &button);
    }
    painter.end();
    // Down the middle, inside the frame.
    QList<QColor> face;
    for (int y = kFrameWidth; y < image.height() - kFrameWidth; ++y) {
        const QColor pixel = image.pixelColor(image.width() / 2, y);
        if (!face.contains(pixel)) {
            face.append(pixel);
        }
    }
    return face;
}

double lowestContrast(const QColor& color, const QList<QColor>& backgrounds)
{
    double lowest = 21.0;
    for (const QColor& background : backgrounds) {
        lowest = std::min(lowest, contrastRatio(color, background));
    }
    return lowest;
}

QColor readableOn(const QColor& color, const QList<QColor>& backgrounds, double ratio)
{
    if (backgrounds.isEmpty()) {
        return color;
    }
    // Towards black on a light background, towards white on a dark one.
    return movedAwayFrom(color, backgrounds.front(), [&](const QColor& candidate) { return lowestContrast(candidate, backgrounds) >= ratio; });
}

void colorSegments(const QList<QAbstractButton*>& segments, const QPalette& palette)
{
    for (QAbstractButton* segment : segments) {
        QPalette colors;
        if (segment->isChecked()) {
            // The selection's colours, the fill deepened (or lightened, under
            // dark text) until the text reads on the face the style paints.
            const QColor text = palette.color(QPalette::HighlightedText);
            colors.setColor(QPalette::ButtonText, text);
            colors.setColor(QPalette::Button, movedAwayFrom(palette.color(QPalette::Highlight), text, [&](const QColor& fill) {
                colors.setColor(QPalette::Button, fill);
                return lowestContrast(text, buttonFace(*segment, colors.resolve(palette), true)) >= 4.5;
            }));
        }
        segment->setPalette(colors);
    }
}

}  // namespace tess::theme
