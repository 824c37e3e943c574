#pragma once

// A desktop's palette as Qt's platform theme hands it to the application for
// a colour scheme that sets only the usual roles (window, view, button and
// selection colours), as a KDE scheme read by Qt's own desktop theme does:
// Qt works out the bevel shades and the disabled colours from the button
// colour, and every role the scheme leaves out keeps what the style's
// standard palette gives, so the placeholder stays Qt's half-transparent
// black and the link pure blue, on a dark scheme too.

#include <QColor>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

namespace tess::test {

struct DesktopScheme {
    QColor window, windowText;
    QColor view, viewText;
    QColor button, buttonText;
    QColor selection, selectionText;
};

// Breeze's light and dark colours.
inline DesktopScheme lightDesktopScheme()
{
    return {QColor(239, 240, 241), QColor(35, 38, 41), QColor(252, 252, 252), QColor(35, 38, 41), QColor(239, 240, 241),
        QColor(35, 38, 41), QColor(61, 174, 233), QColor(252, 252, 252)};
}

// The scheme the smoke test writes for its dark desktop.
inline DesktopScheme darkDesktopScheme()
{
    return {QColor(35, 38, 41), QColor(239, 240, 241), QColor(27, 30, 32), QColor(239, 240, 241), QColor(49, 54, 59),
        QColor(239, 240, 241), QColor(61, 174, 233), QColor(239, 240, 241)};
}

inline QPalette desktopPalette(const DesktopScheme& scheme)
{
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette = fusion->standardPalette();
    palette.setColor(QPalette::Window, scheme.window);
    palette.setColor(QPalette::WindowText, scheme.windowText);
    palette.setColor(QPalette::Base, scheme.view);
    palette.setColor(QPalette::Text, scheme.viewText);
    palette.setColor(QPalette::Button, scheme.button);
    palette.setColor(QPalette::ButtonText, scheme.buttonText);
    palette.setColor(QPalette::Highlight, scheme.selection);
    palette.setColor(QPalette::HighlightedText, scheme.selectionText);

    const QColor button = scheme.button;
    const bool light = button.value() > 128;
    const QColor dark = button.darker(light ? 200 : 50);
    const QColor dark150 = button.darker(light ? 150 : 75);
    const QColor light150 = button.lighter(light ? 150 : 75);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        palette.setColor(QPalette::Disabled, role, dark);
    }
    for (const QPalette::ColorRole role : {QPalette::Button, QPalette::Base, QPalette::Window}) {
        palette.setColor(QPalette::Disabled, role, button);
    }
    palette.setColor(QPalette::Disabled, QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, dark150);
    palette.setColor(QPalette::Disabled, QPalette::HighlightedText, light150);
    palette.setColor(QPalette::Light, button.lighter(light ? 200 : 50));
    palette.setColor(QPalette::Midlight, light150);
    palette.setColor(QPalette::Mid, dark150);
    palette.setColor(QPalette::Dark, dark);
    return palette;
}

}  // namespace tess::test
