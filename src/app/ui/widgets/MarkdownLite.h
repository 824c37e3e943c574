#pragma once

#include <QString>
#include <QStringView>

namespace tess {

// The small inline markup of the fixed help texts, as rich text: the text
// is HTML-escaped, a span between "**" and "**" is bold, a span between
// backticks is code (its content literal). Nothing else is markup: a lone
// "*", "__", an unclosed "**" or backtick stay as they are. Only for the
// application's own fixed texts, never for names or messages.
QString markdownLiteToHtml(QStringView text);

}  // namespace tess
