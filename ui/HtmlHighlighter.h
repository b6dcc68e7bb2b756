#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace lurvik {

// Colours the HTML source view: tags, attribute names and values, comments and entities. A
// comment or tag may run over several lines, which the block state carries on.
class HtmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit HtmlHighlighter(QTextDocument* document);

protected:
    void highlightBlock(const QString& text) override;

private:
    QTextCharFormat m_tag, m_attribute, m_value, m_comment, m_entity;
};

} // namespace lurvik
