#pragma once

#include "ui/widgets/ColorResource.h"

#include <QIconEngine>
#include <QPalette>

#include <optional>
#include <string>

namespace tess {

// Paints one symbol in a colour taken from the application palette at paint
// time, so one icon serves the light and the dark palette.
class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(std::string name, QPalette::ColorRole role);
    SymbolIconEngine(std::string name, ColorName color);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;

    QColor color(QIcon::Mode mode) const;

private:
    std::string m_name;
    QPalette::ColorRole m_role = QPalette::WindowText;
    std::optional<ColorName> m_color;
};

}  // namespace tess
