#include "HtmlHighlighter.h"

namespace lurvik {

namespace {

enum State { InText = 0, InTag = 1, InComment = 2, InValueDouble = 3, InValueSingle = 4 };

} // namespace

HtmlHighlighter::HtmlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
    m_tag.setForeground(QColor(0, 0, 160));
    m_attribute.setForeground(QColor(150, 0, 0));
    m_value.setForeground(QColor(120, 0, 150));
    m_comment.setForeground(QColor(0, 110, 0));
    m_entity.setForeground(QColor(150, 80, 0));
}

void HtmlHighlighter::highlightBlock(const QString& text) {
    int state = previousBlockState() < 0 ? InText : previousBlockState();
    const int length = static_cast<int>(text.size());
    int i = 0;
    while (i < length) {
        switch (state) {
        case InText: {
            if (text.mid(i, 4) == QLatin1String("<!--")) {
                state = InComment;
                setFormat(i, 4, m_comment);
                i += 4;
            } else if (text[i] == QLatin1Char('<')) {
                state = InTag;
                int end = i + 1;
                while (end < length && (text[end].isLetterOrNumber() || text[end] == QLatin1Char('/') ||
                                        text[end] == QLatin1Char('!')))
                    ++end;
                setFormat(i, end - i, m_tag);
                i = end;
            } else if (text[i] == QLatin1Char('&')) {
                int end = text.indexOf(QLatin1Char(';'), i);
                if (end < 0 || end - i > 10)
                    end = i;
                setFormat(i, end - i + 1, m_entity);
                i = end + 1;
            } else {
                ++i;
            }
            break;
        }
        case InComment: {
            int end = text.indexOf(QLatin1String("-->"), i);
            int stop = end < 0 ? length : end + 3;
            setFormat(i, stop - i, m_comment);
            i = stop;
            if (end >= 0)
                state = InText;
            break;
        }
        case InTag: {
            QChar c = text[i];
            if (c == QLatin1Char('>')) {
                setFormat(i, 1, m_tag);
                state = InText;
                ++i;
            } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                state = c == QLatin1Char('"') ? InValueDouble : InValueSingle;
                setFormat(i, 1, m_value);
                ++i;
            } else if (c.isLetter()) {
                int end = i;
                while (end < length && (text[end].isLetterOrNumber() || text[end] == QLatin1Char('-')))
                    ++end;
                setFormat(i, end - i, m_attribute);
                i = end;
            } else {
                ++i;
            }
            break;
        }
        default: {
            QChar quote = state == InValueDouble ? QLatin1Char('"') : QLatin1Char('\'');
            int end = text.indexOf(quote, i);
            int stop = end < 0 ? length : end + 1;
            setFormat(i, stop - i, m_value);
            i = stop;
            if (end >= 0)
                state = InTag;
            break;
        }
        }
    }
    setCurrentBlockState(state);
}

} // namespace lurvik
