#include "ui/widgets/SymbolIconEngine.h"

#include "ui/widgets/Symbol.h"
#include "ui/widgets/Theme.h"

#include <QGuiApplication>
#include <QPainter>

namespace tess {

SymbolIconEngine::SymbolIconEngine(std::string name, QPalette::ColorRole role)
    : m_name(std::move(name))
    , m_role(role)
{
}

SymbolIconEngine::SymbolIconEngine(std::string name, ColorName color)
    : m_name(std::move(name))
    , m_color(color)
{
}

QColor SymbolIconEngine::color(QIcon::Mode mode) const
{
    const QPalette palette = QGuiApplication::palette();
    QColor result = m_color ? namedColor(*m_color, palette) : palette.color(QPalette::Active, m_role);
    if (mode == QIcon::Disabled) {
        result = m_color ? theme::withOpacity(result, 0.4) : palette.color(QPalette::Disabled, m_role);
    } else if (mode == QIcon::Selected && !m_color) {
        result = palette.color(QPalette::HighlightedText);
    }
    return result;
}

void SymbolIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State)
{
    symbol::paint(*painter, QRectF(rect), m_name, color(mode));
}

QPixmap SymbolIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State)
{
    return symbol::pixmap(m_name, size, color(mode));
}

QIconEngine* SymbolIconEngine::clone() const
{
    return new SymbolIconEngine(*this);
}

QString SymbolIconEngine::key() const
{
    return QStringLiteral("tess.symbol");
}

}  // namespace tess
