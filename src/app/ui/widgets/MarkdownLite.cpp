#include "ui/widgets/MarkdownLite.h"

namespace tess {

namespace {

void appendEscaped(QString& out, QChar c)
{
    switch (c.unicode()) {
    case u'&':
        out += QLatin1String("&amp;");
        break;
    case u'<':
        out += QLatin1String("&lt;");
        break;
    case u'>':
        out += QLatin1String("&gt;");
        break;
    case u'"':
        out += QLatin1String("&quot;");
        break;
    default:
        out += c;
        break;
    }
}

void appendEscaped(QString& out, QStringView text)
{
    for (QChar c : text) {
        appendEscaped(out, c);
    }
}

void convert(QString& out, QStringView text, bool insideBold)
{
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u'`') {
            const qsizetype close = text.indexOf(u'`', i + 1);
            if (close > i + 1) {
                out += QLatin1String("<code>");
                appendEscaped(out, text.sliced(i + 1, close - i - 1));
                out += QLatin1String("</code>");
                i = close + 1;
                continue;
            }
        } else if (!insideBold && text.sliced(i).startsWith(u"**")) {
            const qsizetype close = text.indexOf(u"**", i + 2);
            if (close > i + 2) {
                out += QLatin1String("<b>");
                convert(out, text.sliced(i + 2, close - i - 2), true);
                out += QLatin1String("</b>");
                i = close + 2;
                continue;
            }
            // An unclosed or empty pair is text.
            out += QLatin1String("**");
            i += 2;
            continue;
        }
        appendEscaped(out, text[i]);
        ++i;
    }
}

}  // namespace

QString markdownLiteToHtml(QStringView text)
{
    QString out;
    out.reserve(text.size() + 16);
    convert(out, text, false);
    return out;
}

}  // namespace tess
