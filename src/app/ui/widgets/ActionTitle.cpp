#include "ui/widgets/ActionTitle.h"

#include "text/Text.h"

namespace tess {

QString actionTitle(std::string_view text)
{
    QString title = QString::fromStdString(text::toValidUtf8(text));
    title.replace(QLatin1Char('&'), QLatin1String("&&"));
    return title;
}

}  // namespace tess
