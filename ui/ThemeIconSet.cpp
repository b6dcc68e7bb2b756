#include "ThemeIconSet.h"

#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <utility>

namespace lurvik {

namespace {

// The theme's picture with an emblem over its lower right quarter, the way file managers mark a
// link: the theme has no picture of its own for "this page again" or "this page is blocked".
class EmblemEngine : public QIconEngine {
public:
    EmblemEngine(QIcon base, QIcon emblem) : m_base(std::move(base)), m_emblem(std::move(emblem)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        m_base.paint(painter, rect, Qt::AlignCenter, mode, state);
        QRect corner(rect.center() + QPoint(1, 1), rect.bottomRight());
        m_emblem.paint(painter, corner, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        painter.end();
        return QPixmap::fromImage(image);
    }
    QString iconName() override { return m_base.name(); }
    QIconEngine* clone() const override { return new EmblemEngine(m_base, m_emblem); }

private:
    QIcon m_base;
    QIcon m_emblem;
};

// The first of names that the theme has; empty when it has none.
QString firstInTheme(const std::vector<const char*>& names) {
    for (const char* name : names)
        if (QIcon::hasThemeIcon(QString::fromLatin1(name)))
            return QString::fromLatin1(name);
    return {};
}

} // namespace

ThemeIconSet::ThemeIconSet(std::vector<ThemePicture> pictures) : m_pictures(std::move(pictures)) {}

QIcon ThemeIconSet::icon(int index) {
    check();
    if (index < 0 || index >= static_cast<int>(m_icons.size()))
        return {};
    return m_icons[index];
}

void ThemeIconSet::check() {
    const QString theme = QIcon::themeName();
    if (m_checked && theme == m_theme)
        return;
    m_checked = true;
    m_theme = theme;
    m_icons.clear();
    std::vector<QIcon> icons;
    for (const ThemePicture& picture : m_pictures) {
        if (picture.names.empty()) {
            icons.emplace_back();
            continue;
        }
        QString name = firstInTheme(picture.names);
        QString emblem = picture.emblem ? firstInTheme({picture.emblem}) : QString();
        if (name.isEmpty() || (picture.emblem && emblem.isEmpty()))
            return;
        QIcon base = QIcon::fromTheme(name);
        icons.push_back(emblem.isEmpty() ? base : QIcon(new EmblemEngine(base, QIcon::fromTheme(emblem))));
    }
    m_icons = std::move(icons);
}

} // namespace lurvik
