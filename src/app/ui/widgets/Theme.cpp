#include "ui/widgets/Theme.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QWidget>

#include <algorithm>

namespace tess::theme {
namespace {

struct Roles {
    QColor window, windowText, base, alternateBase, text, button, buttonText, highlight, highlightedText, link, toolTipBase, toolTipText, placeholder, mid, dark, light;
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
    p.setColor(QPalette::PlaceholderText, r.placeholder);
    p.setColor(QPalette::Light, r.light);
    p.setColor(QPalette::Midlight, r.light);
    p.setColor(QPalette::Mid, r.mid);
    p.setColor(QPalette::Dark, r.dark);
    p.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, r.disabledText);
    }
    return p;
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
        .link = QColor(0x1F6FD1),
        .toolTipBase = QColor(0xFFFFF0),
        .toolTipText = QColor(0x1D1D1F),
        .placeholder = QColor(0x8A8A8E),
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
        .link = QColor(0x5AA2FF),
        .toolTipBase = QColor(0x3A3A3C),
        .toolTipText = QColor(0xE8E8EA),
        .placeholder = QColor(0x8E8E93),
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

void colorSegments(const QList<QAbstractButton*>& segments, const QPalette& palette)
{
    for (QAbstractButton* segment : segments) {
        QPalette colors;
        if (segment->isChecked()) {
            colors.setColor(QPalette::Button, palette.color(QPalette::Highlight));
            colors.setColor(QPalette::ButtonText, palette.color(QPalette::HighlightedText));
        }
        segment->setPalette(colors);
    }
}

}  // namespace tess::theme
