#include "Icons.h"

#include "FileTypeIcons.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <map>
#include <vector>

namespace lurvik::Icons {

namespace {

enum class Shape { Page, Globe, Folder, Envelope, Picture, Frame, Box, Cross, Bolt };

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

QIcon makeIcon(const Glyph& glyph) {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintShape(painter, glyph, size);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon cached(std::vector<QIcon>& cache, const std::vector<Glyph>& glyphs, int index) {
    if (index < 0 || index >= static_cast<int>(glyphs.size()))
        return {};
    if (cache.empty())
        for (const Glyph& glyph : glyphs)
            cache.push_back(makeIcon(glyph));
    return cache[index];
}

} // namespace

QIcon treeIcon(int index) {
    static std::vector<QIcon> cache;
    static const std::vector<Glyph> glyphs = {
        {Shape::Globe, QColor(70, 130, 200), ""}, {Shape::Page, QColor(200, 200, 200), ""},
        {Shape::Page, QColor(240, 200, 40), ""},  {Shape::Cross, QColor(200, 40, 40), ""},
        {Shape::Page, QColor(60, 160, 70), ""},   {Shape::Page, QColor(150, 200, 150), ""},
        {Shape::Page, QColor(200, 40, 40), "!"},
    };
    return cached(cache, glyphs, index);
}

QIcon linkIcon(int index) {
    static std::vector<QIcon> cache;
    static const std::vector<Glyph> glyphs = {
        {Shape::Page, QColor(160, 160, 160), "?"},    {Shape::Page, QColor(60, 120, 200), ""},
        {Shape::Folder, QColor(220, 190, 90), ""},    {Shape::Folder, QColor(120, 170, 220), "F"},
        {Shape::Folder, QColor(160, 120, 80), "G"},   {Shape::Box, QColor(230, 150, 60), "N"},
        {Shape::Envelope, QColor(250, 240, 200), ""}, {Shape::Picture, QColor(90, 170, 90), ""},
        {Shape::Picture, QColor(170, 90, 170), "M"},  {Shape::Box, QColor(200, 90, 60), "J"},
        {Shape::Frame, QColor(90, 110, 180), ""},     {Shape::Box, QColor(90, 90, 160), "X"},
    };
    if (index >= FileTypeIcons::kFirstIndex) {
        // A learnt file type: the desktop theme's icon for it, else the plain web-page icon.
        static std::map<int, QIcon> themed;
        auto it = themed.find(index);
        if (it == themed.end()) {
            QString name = QString::fromStdString(FileTypeIcons::instance().iconName(index));
            it = themed.emplace(index, QIcon::fromTheme(name, cached(cache, glyphs, 1))).first;
        }
        return it->second;
    }
    return cached(cache, glyphs, index);
}

QIcon toolbarIcon(int index) {
    static std::vector<QIcon> cache;
    static const std::vector<Glyph> glyphs = {
        {Shape::Globe, QColor(70, 130, 200), ""},  {Shape::Folder, QColor(220, 190, 90), ""},
        {Shape::Page, QColor(120, 120, 120), "P"}, {Shape::Page, QColor(120, 160, 220), "C"},
        {Shape::Box, QColor(200, 200, 120), "i"},  {Shape::Box, QColor(120, 170, 220), "L"},
        {Shape::Box, QColor(120, 170, 220), "S"},  {Shape::Box, QColor(160, 200, 160), "="},
        {Shape::Box, QColor(160, 200, 160), "D"},  {Shape::Page, QColor(230, 140, 60), "<>"},
        {Shape::Globe, QColor(240, 200, 40), "?"}, {Shape::Bolt, QColor(240, 200, 40), ""},
        {Shape::Box, QColor(150, 150, 220), "T"},  {Shape::Box, QColor(200, 200, 200), ""},
        {Shape::Cross, QColor(200, 40, 40), ""},
    };
    return cached(cache, glyphs, index);
}

QIcon programIcon() {
    return treeIcon(0);
}

} // namespace lurvik::Icons
