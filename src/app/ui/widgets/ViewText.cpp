#include "ui/widgets/ViewText.h"

#include "text/Text.h"

namespace tess {

QString viewText(std::string_view text)
{
    return QString::fromStdString(text::displayPath(text));
}

}  // namespace tess
