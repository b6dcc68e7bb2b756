#include "Icons.h"

#include "FileTypeIcons.h"
#include "ThemeIconSet.h"

#include <QApplication>
#include <QFont>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace lurvik::Icons {

namespace {

enum class Shape {
    Page,
    Globe,
    Folder,
    Envelope,
    Picture,
    Frame,
    Box,
    Cross,
    Bolt,
    Printer,
    Copy,
    Info,
    BigTiles,
    SmallTiles,
    Lines,
    Columns,
    Brackets,
    Lens,
    LensBolt,
    Clock,
    Stop
};

struct Glyph {
    Shape shape;
    QColor colour;
    const char* letter;
};

void paintShape(QPainter& p, const Glyph& glyph, int size) {
    const qreal s = size;
    const qreal m = s / 16.0;
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(glyph.colour.darker(170), m));
    p.setBrush(glyph.colour);
    switch (glyph.shape) {
    case Shape::Page: {
        QPainterPath path;
        path.moveTo(3 * m, 1 * m);
        path.lineTo(10 * m, 1 * m);
        path.lineTo(13 * m, 4 * m);
        path.lineTo(13 * m, 15 * m);
        path.lineTo(3 * m, 15 * m);
        path.closeSubpath();
        p.setBrush(Qt::white);
        p.drawPath(path);
        p.setBrush(glyph.colour);
        p.drawRect(QRectF(5 * m, 6 * m, 6 * m, 6 * m));
        break;
    }
    case Shape::Globe:
        p.drawEllipse(QRectF(1.5 * m, 1.5 * m, 13 * m, 13 * m));
        p.drawLine(QPointF(1.5 * m, 8 * m), QPointF(14.5 * m, 8 * m));
        p.drawEllipse(QRectF(5 * m, 1.5 * m, 6 * m, 13 * m));
        break;
    case Shape::Folder:
        p.drawRect(QRectF(1 * m, 4 * m, 14 * m, 10 * m));
        p.drawRect(QRectF(1 * m, 2 * m, 6 * m, 2 * m));
        break;
    case Shape::Envelope:
        p.drawRect(QRectF(1 * m, 4 * m, 14 * m, 9 * m));
        p.drawLine(QPointF(1 * m, 4 * m), QPointF(8 * m, 9 * m));
        p.drawLine(QPointF(15 * m, 4 * m), QPointF(8 * m, 9 * m));
        break;
    case Shape::Picture:
        p.drawRect(QRectF(1 * m, 2 * m, 14 * m, 12 * m));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(3 * m, 4 * m, 4 * m, 4 * m));
        break;
    case Shape::Frame:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1 * m, 1 * m, 14 * m, 14 * m));
        p.setBrush(glyph.colour);
        p.drawRect(QRectF(1 * m, 1 * m, 5 * m, 14 * m));
        break;
    case Shape::Box:
        p.drawRoundedRect(QRectF(1.5 * m, 1.5 * m, 13 * m, 13 * m), 2 * m, 2 * m);
        break;
    case Shape::Cross:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3 * m, 1 * m, 10 * m, 14 * m));
        p.setPen(QPen(glyph.colour, 2 * m));
        p.drawLine(QPointF(5 * m, 4 * m), QPointF(11 * m, 12 * m));
        p.drawLine(QPointF(11 * m, 4 * m), QPointF(5 * m, 12 * m));
        break;
    case Shape::Printer:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4 * m, 1.5 * m, 8 * m, 5 * m));
        p.setBrush(glyph.colour);
        p.drawRoundedRect(QRectF(1.5 * m, 6 * m, 13 * m, 6 * m), m, m);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4 * m, 10 * m, 8 * m, 4.5 * m));
        break;
    case Shape::Copy:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5 * m, 1.5 * m, 8 * m, 10 * m));
        p.setBrush(glyph.colour);
        p.drawRect(QRectF(6.5 * m, 4.5 * m, 8 * m, 10 * m));
        break;
    case Shape::Info:
        p.drawEllipse(QRectF(1.5 * m, 1.5 * m, 13 * m, 13 * m));
        p.setPen(QPen(Qt::white, 2 * m, Qt::SolidLine, Qt::RoundCap));
        p.drawPoint(QPointF(8 * m, 4.8 * m));
        p.drawLine(QPointF(8 * m, 7.5 * m), QPointF(8 * m, 11.5 * m));
        break;
    case Shape::BigTiles:
        for (qreal x : {1.5, 8.5})
            for (qreal y : {1.5, 8.5})
                p.drawRect(QRectF(x * m, y * m, 6 * m, 6 * m));
        break;
    case Shape::SmallTiles:
        for (qreal x : {1.5, 6.0, 10.5})
            for (qreal y : {1.5, 6.0, 10.5})
                p.drawRect(QRectF(x * m, y * m, 4 * m, 4 * m));
        break;
    case Shape::Lines:
        for (qreal y : {2.5, 6.5, 10.5}) {
            p.drawRect(QRectF(1.5 * m, y * m, 3 * m, 3 * m));
            p.drawLine(QPointF(6.5 * m, (y + 1.5) * m), QPointF(14.5 * m, (y + 1.5) * m));
        }
        break;
    case Shape::Columns:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5 * m, 1.5 * m, 13 * m, 13 * m));
        p.setBrush(glyph.colour);
        p.drawRect(QRectF(1.5 * m, 1.5 * m, 13 * m, 3 * m));
        p.drawLine(QPointF(6 * m, 4.5 * m), QPointF(6 * m, 14.5 * m));
        for (qreal y : {7.5, 10.5})
            p.drawLine(QPointF(1.5 * m, y * m), QPointF(14.5 * m, y * m));
        break;
    case Shape::Brackets:
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(glyph.colour.darker(130), 1.8 * m, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(5 * m, 4 * m), QPointF(1.5 * m, 8 * m), QPointF(5 * m, 12 * m)}));
        p.drawPolyline(
            QPolygonF({QPointF(11 * m, 4 * m), QPointF(14.5 * m, 8 * m), QPointF(11 * m, 12 * m)}));
        p.drawLine(QPointF(9.5 * m, 3 * m), QPointF(6.5 * m, 13 * m));
        break;
    case Shape::Lens:
    case Shape::LensBolt:
        p.setBrush(QColor(230, 240, 250));
        p.drawEllipse(QRectF(1.5 * m, 1.5 * m, 9 * m, 9 * m));
        p.setPen(QPen(glyph.colour.darker(170), 2.5 * m, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9.5 * m, 9.5 * m), QPointF(14.5 * m, 14.5 * m));
        if (glyph.shape == Shape::LensBolt) {
            p.setPen(QPen(QColor(200, 150, 0), m));
            p.setBrush(QColor(250, 210, 40));
            p.drawPolygon(
                QPolygonF({QPointF(12 * m, 0.5 * m), QPointF(9.5 * m, 4.5 * m), QPointF(12 * m, 4.5 * m),
                           QPointF(11 * m, 8 * m), QPointF(15 * m, 3.5 * m), QPointF(12.5 * m, 3.5 * m)}));
        }
        break;
    case Shape::Clock:
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(1.5 * m, 1.5 * m, 13 * m, 13 * m));
        p.setPen(QPen(glyph.colour.darker(170), 1.5 * m, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8 * m, 8 * m), QPointF(8 * m, 4 * m));
        p.drawLine(QPointF(8 * m, 8 * m), QPointF(11 * m, 9.5 * m));
        break;
    case Shape::Stop: {
        QPolygonF octagon;
        for (int i = 0; i < 8; ++i) {
            qreal angle = (22.5 + 45 * i) * 3.14159265 / 180;
            octagon << QPointF((8 + 6.8 * std::cos(angle)) * m, (8 + 6.8 * std::sin(angle)) * m);
        }
        p.drawPolygon(octagon);
        p.setPen(QPen(Qt::white, 2 * m, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5.5 * m, 8 * m), QPointF(10.5 * m, 8 * m));
        break;
    }
    case Shape::Bolt: {
        QPainterPath path;
        path.moveTo(9 * m, 1 * m);
        path.lineTo(3 * m, 9 * m);
        path.lineTo(8 * m, 9 * m);
        path.lineTo(6 * m, 15 * m);
        path.lineTo(13 * m, 6 * m);
        path.lineTo(8 * m, 6 * m);
        path.closeSubpath();
        p.drawPath(path);
        break;
    }
    }
    if (glyph.letter && *glyph.letter) {
        QFont font;
        font.setPixelSize(int(8 * m));
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QRectF(0, 8 * m, s, 8 * m), Qt::AlignRight | Qt::AlignBottom, glyph.letter);
    }
}

// Paints the glyph at whatever size and pixel ratio is asked for, so that it stays sharp on a
// high-density screen instead of being scaled up from a 16-pixel picture.
class GlyphEngine : public QIconEngine {
public:
    explicit GlyphEngine(const Glyph& glyph) : m_glyph(glyph) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        QPixmap picture = pixmap(rect.size() * painter->device()->devicePixelRatio(), mode, state);
        painter->drawPixmap(rect, picture);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        int side = std::max(1, std::min(size.width(), size.height()));
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paintShape(painter, m_glyph, side);
        painter.end();
        QPixmap picture = QPixmap::fromImage(image);
        if (mode == QIcon::Disabled) {
            QStyleOption option;
            return QApplication::style()->generatedIconPixmap(QIcon::Disabled, picture, &option);
        }
        return picture;
    }
    QIconEngine* clone() const override { return new GlyphEngine(m_glyph); }

private:
    Glyph m_glyph;
};

QIcon makeIcon(const Glyph& glyph) {
    return QIcon(new GlyphEngine(glyph));
}

QIcon cached(std::vector<QIcon>& cache, const std::vector<Glyph>& glyphs, int index) {
    if (index < 0 || index >= static_cast<int>(glyphs.size()))
        return {};
    if (cache.empty())
        for (const Glyph& glyph : glyphs)
            cache.push_back(makeIcon(glyph));
    return cache[index];
}

QIcon paintedTreeIcon(int index) {
    static std::vector<QIcon> cache;
    static const std::vector<Glyph> glyphs = {
        {Shape::Globe, QColor(70, 130, 200), ""}, {Shape::Page, QColor(200, 200, 200), ""},
        {Shape::Page, QColor(240, 200, 40), ""},  {Shape::Cross, QColor(200, 40, 40), ""},
        {Shape::Page, QColor(60, 160, 70), ""},   {Shape::Page, QColor(150, 200, 150), ""},
        {Shape::Page, QColor(200, 40, 40), "!"},
    };
    return cached(cache, glyphs, index);
}

QIcon paintedLinkIcon(int index) {
    static std::vector<QIcon> cache;
    static const std::vector<Glyph> glyphs = {
        {Shape::Page, QColor(160, 160, 160), "?"},    {Shape::Page, QColor(60, 120, 200), ""},
        {Shape::Folder, QColor(220, 190, 90), ""},    {Shape::Folder, QColor(120, 170, 220), "F"},
        {Shape::Folder, QColor(160, 120, 80), "G"},   {Shape::Box, QColor(230, 150, 60), "N"},
        {Shape::Envelope, QColor(250, 240, 200), ""}, {Shape::Picture, QColor(90, 170, 90), ""},
        {Shape::Picture, QColor(170, 90, 170), "M"},  {Shape::Box, QColor(200, 90, 60), "J"},
        {Shape::Frame, QColor(90, 110, 180), ""},     {Shape::Box, QColor(90, 90, 160), "X"},
    };
    return cached(cache, glyphs, index);
}

constexpr int kTreeIcons = 7;

// The tree's pictures and then the link kinds' in the desktop's names: one set, because the two
// views stand side by side.
ThemeIconSet& viewTheme() {
    static ThemeIconSet set({
        {{"applications-internet"}},
        {{"appointment-soon"}},
        {{"image-loading"}},
        {{"dialog-error"}},
        {{"text-html"}},
        {{"text-html"}, "emblem-symbolic-link"},
        {{"text-html"}, "emblem-important"},
        {{"unknown", "text-x-generic"}},
        {{"text-html"}},
        {{"folder"}},
        {{"folder-remote"}},
        {{"network-server"}},
        {{"internet-news-reader", "mail-read"}},
        {{"internet-mail", "mail-unread"}},
        {{"image-x-generic"}},
        {{"image-x-generic"}, "emblem-symbolic-link"},
        {{"application-x-executable"}},
        {{"view-split-left-right", "text-html"}},
        {{"application-x-addon", "package-x-generic"}},
    });
    return set;
}

} // namespace

QIcon treeIcon(int index) {
    if (index < 0 || index >= kTreeIcons)
        return {};
    QIcon themed = viewTheme().icon(index);
    return themed.isNull() ? paintedTreeIcon(index) : themed;
}

QIcon linkIcon(int index) {
    if (index >= FileTypeIcons::kFirstIndex) {
        // A learnt file type: the desktop theme's icon for it, else the plain web-page icon.
        static std::map<int, QIcon> learnt;
        static QString learntTheme;
        if (learntTheme != QIcon::themeName()) {
            learnt.clear();
            learntTheme = QIcon::themeName();
        }
        auto it = learnt.find(index);
        if (it == learnt.end()) {
            QString name = QString::fromStdString(FileTypeIcons::instance().iconName(index));
            it = learnt.emplace(index, QIcon::fromTheme(name, linkIcon(1))).first;
        }
        return it->second;
    }
    if (index < 0)
        return {};
    QIcon themed = viewTheme().icon(kTreeIcons + index);
    return themed.isNull() ? paintedLinkIcon(index) : themed;
}

QIcon toolbarIcon(int index) {
    static std::vector<QIcon> cache;
    static const std::vector<Glyph> glyphs = {
        {Shape::Globe, QColor(70, 130, 200), ""},       {Shape::Folder, QColor(220, 190, 90), ""},
        {Shape::Printer, QColor(150, 150, 160), ""},    {Shape::Copy, QColor(120, 160, 220), ""},
        {Shape::Info, QColor(60, 120, 200), ""},        {Shape::BigTiles, QColor(120, 170, 220), ""},
        {Shape::SmallTiles, QColor(120, 170, 220), ""}, {Shape::Lines, QColor(120, 170, 220), ""},
        {Shape::Columns, QColor(120, 170, 220), ""},    {Shape::Brackets, QColor(230, 140, 60), ""},
        {Shape::Lens, QColor(90, 90, 100), ""},         {Shape::LensBolt, QColor(90, 90, 100), ""},
        {Shape::Clock, QColor(90, 110, 180), ""},       {Shape::Box, QColor(200, 200, 200), ""},
        {Shape::Stop, QColor(200, 40, 40), ""},
    };
    // A set of its own: the toolbar looks like the desktop's other toolbars even when the theme
    // lacks a picture that only the views need.
    static ThemeIconSet theme({
        {{"document-open-remote"}},
        {{"document-open"}},
        {{"document-print"}},
        {{"edit-copy"}},
        {{"document-properties"}},
        {{"view-list-icons"}},
        {{"view-grid"}},
        {{"view-list"}},
        {{"view-list-details"}},
        {{"text-html"}},
        {{"edit-find"}},
        {{"system-search"}},
        {{"x-office-calendar"}},
        {},
        {{"process-stop"}},
    });
    QIcon themed = theme.icon(index);
    return themed.isNull() ? cached(cache, glyphs, index) : themed;
}

QIcon programIcon() {
    return paintedTreeIcon(0);
}

} // namespace lurvik::Icons
