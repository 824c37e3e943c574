#include "ui/widgets/Symbol.h"

#include "ui/widgets/SymbolIconEngine.h"

#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <QtGlobal>
#include <QtMath>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <string>

// Resources of a static library register only when asked.
static void initSymbolResources()
{
    Q_INIT_RESOURCE(symbols);
}

namespace tess::symbol {
namespace {

struct SymbolFile {
    std::string_view name;
    const char* resource;
};

// Sorted by name.
constexpr SymbolFile kSymbols[] = {
    {"apple.logo", ":/icons/apple-logo.svg"},
    {"arrow.down.circle", ":/icons/arrow-down-circle.svg"},
    {"arrow.left.arrow.right", ":/icons/arrow-left-arrow-right.svg"},
    {"arrow.right", ":/icons/arrow-right.svg"},
    {"arrow.right.arrow.left", ":/icons/arrow-right-arrow-left.svg"},
    {"arrow.uturn.backward", ":/icons/arrow-uturn-backward.svg"},
    {"arrow.uturn.backward.circle", ":/icons/arrow-uturn-backward-circle.svg"},
    {"character.book.closed", ":/icons/character-book-closed.svg"},
    {"character.textbox", ":/icons/character-textbox.svg"},
    {"checkmark", ":/icons/checkmark.svg"},
    {"checkmark.circle", ":/icons/checkmark-circle.svg"},
    {"chevron.left", ":/icons/chevron-left.svg"},
    {"chevron.right", ":/icons/chevron-right.svg"},
    {"clock.arrow.circlepath", ":/icons/clock-arrow-circlepath.svg"},
    {"desktopcomputer", ":/icons/desktopcomputer.svg"},
    {"doc.on.clipboard", ":/icons/doc-on-clipboard.svg"},
    {"doc.on.doc", ":/icons/doc-on-doc.svg"},
    {"doc.text", ":/icons/doc-text.svg"},
    {"doc.text.magnifyingglass", ":/icons/doc-text-magnifyingglass.svg"},
    {"ellipsis.circle", ":/icons/ellipsis-circle.svg"},
    {"exclamationmark.shield", ":/icons/exclamationmark-shield.svg"},
    {"exclamationmark.triangle", ":/icons/exclamationmark-triangle.svg"},
    {"exclamationmark.triangle.fill", ":/icons/exclamationmark-triangle-fill.svg"},
    {"externaldrive", ":/icons/externaldrive.svg"},
    {"folder", ":/icons/folder.svg"},
    {"folder.badge.minus", ":/icons/folder-badge-minus.svg"},
    {"folder.badge.questionmark", ":/icons/folder-badge-questionmark.svg"},
    {"gear", ":/icons/gear.svg"},
    {"gearshape", ":/icons/gearshape.svg"},
    {"globe", ":/icons/globe.svg"},
    {"info.circle", ":/icons/info-circle.svg"},
    {"internaldrive", ":/icons/internaldrive.svg"},
    {"Linux", ":/icons/Linux.svg"},
    {"magnifyingglass", ":/icons/magnifyingglass.svg"},
    {"minus.circle", ":/icons/minus-circle.svg"},
    {"pencil", ":/icons/pencil.svg"},
    {"pencil.circle", ":/icons/pencil-circle.svg"},
    {"play.circle", ":/icons/play-circle.svg"},
    {"plus", ":/icons/plus.svg"},
    {"plus.circle", ":/icons/plus-circle.svg"},
    {"questionmark.circle", ":/icons/questionmark-circle.svg"},
    {"rectangle.and.pencil.and.ellipsis", ":/icons/rectangle-and-pencil-and-ellipsis.svg"},
    {"rectangle.and.text.magnifyingglass", ":/icons/rectangle-and-text-magnifyingglass.svg"},
    {"scissors", ":/icons/scissors.svg"},
    {"scope", ":/icons/scope.svg"},
    {"sidebar.squares.right", ":/icons/sidebar-squares-right.svg"},
    {"slider.horizontal.3", ":/icons/slider-horizontal-3.svg"},
    {"space", ":/icons/space.svg"},
    {"square.and.arrow.up", ":/icons/square-and-arrow-up.svg"},
    {"stop.circle", ":/icons/stop-circle.svg"},
    {"text.badge.xmark", ":/icons/text-badge-xmark.svg"},
    {"text.line.first.and.arrowtriangle.forward", ":/icons/text-line-first-and-arrowtriangle-forward.svg"},
    {"textformat", ":/icons/textformat.svg"},
    {"trash", ":/icons/trash.svg"},
    {"wand.and.stars", ":/icons/wand-and-stars.svg"},
    {"Windows", ":/icons/Windows.svg"},
    {"xmark", ":/icons/xmark.svg"},
    {"xmark.circle.fill", ":/icons/xmark-circle-fill.svg"},
};

constexpr auto kNames = [] {
    std::array<std::string_view, std::size(kSymbols)> names {};
    for (std::size_t i = 0; i < std::size(kSymbols); ++i) {
        names[i] = kSymbols[i].name;
    }
    return names;
}();

const SymbolFile* find(std::string_view name)
{
    for (const SymbolFile& s : kSymbols) {
        if (s.name == name) {
            return &s;
        }
    }
    return nullptr;
}

// One parsed renderer per symbol, made on first use. Main thread only, like
// all painting.
QSvgRenderer* renderer(std::string_view name)
{
    static const bool initialised = [] {
        initSymbolResources();
        return true;
    }();
    Q_UNUSED(initialised);
    static std::map<std::string, std::unique_ptr<QSvgRenderer>, std::less<>> renderers;
    if (auto it = renderers.find(name); it != renderers.end()) {
        return it->second.get();
    }
    const SymbolFile* file = find(name);
    if (file == nullptr) {
        qWarning("Unknown symbol \"%.*s\"", static_cast<int>(name.size()), name.data());
        return nullptr;
    }
    auto made = std::make_unique<QSvgRenderer>(QString::fromLatin1(file->resource));
    if (!made->isValid()) {
        qWarning("Symbol \"%.*s\" could not be read from %s", static_cast<int>(name.size()), name.data(), file->resource);
        return nullptr;
    }
    return renderers.emplace(std::string(name), std::move(made)).first->second.get();
}

}  // namespace

std::span<const std::string_view> names()
{
    return kNames;
}

bool exists(std::string_view name)
{
    return find(name) != nullptr;
}

QPixmap pixmap(std::string_view name, QSize size, const QColor& color, qreal devicePixelRatio)
{
    if (size.isEmpty()) {
        return {};
    }
    const QString key = QStringLiteral("tess.symbol/%1/%2x%3@%4/%5")
                            .arg(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())))
                            .arg(size.width())
                            .arg(size.height())
                            .arg(devicePixelRatio)
                            .arg(color.rgba(), 8, 16, QLatin1Char('0'));
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) {
        return cached;
    }
    QSvgRenderer* svg = renderer(name);
    if (svg == nullptr) {
        return {};
    }
    const QSize pixels = (QSizeF(size) * devicePixelRatio).toSize();
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        // Keep the symbol's aspect ratio, centred.
        QSizeF drawn = QSizeF(svg->defaultSize()).scaled(QSizeF(pixels), Qt::KeepAspectRatio);
        QRectF target(QPointF((pixels.width() - drawn.width()) / 2.0, (pixels.height() - drawn.height()) / 2.0), drawn);
        svg->render(&p, target);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), color);
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, result);
    return result;
}

void paint(QPainter& painter, const QRectF& rect, std::string_view name, const QColor& color)
{
    const qreal side = std::min(rect.width(), rect.height());
    if (side <= 0) {
        return;
    }
    const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    const int logical = qCeil(side);
    QPixmap image = pixmap(name, QSize(logical, logical), color, ratio);
    if (image.isNull()) {
        return;
    }
    const QRectF target(rect.center() - QPointF(side / 2.0, side / 2.0), QSizeF(side, side));
    painter.drawPixmap(target, image, QRectF(image.rect()));
}

QIcon icon(std::string_view name, QPalette::ColorRole role)
{
    return QIcon(new SymbolIconEngine(std::string(name), role));
}

QIcon icon(std::string_view name, ColorName color)
{
    return QIcon(new SymbolIconEngine(std::string(name), color));
}

}  // namespace tess::symbol
