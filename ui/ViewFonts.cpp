#include "ViewFonts.h"

#include "retrieval/Settings.h"

#include <QFontDatabase>

#include <tuple>

namespace lurvik {

namespace {

// As much of a face name as the settings have always kept.
constexpr int kFaceLength = 38;

// The four settings of a view's font, as references into settings (const or not).
template <class SettingsType>
auto fieldsOf(SettingsType& s, ViewFont view) {
    switch (view) {
    case ViewFont::Tree:
        return std::tie(s.treeFont, s.treeSize, s.treeWeight, s.treeItalic);
    case ViewFont::List:
        return std::tie(s.listFont, s.listSize, s.listWeight, s.listItalic);
    case ViewFont::Html:
        break;
    }
    return std::tie(s.htmlFont, s.htmlSize, s.htmlWeight, s.htmlItalic);
}

} // namespace

QFont viewFont(const Settings& settings, ViewFont view) {
    auto [family, size, weight, italic] = fieldsOf(settings, view);
    if (family.isEmpty() || size == 0)
        return QFontDatabase::systemFont(view == ViewFont::Html ? QFontDatabase::FixedFont
                                                                : QFontDatabase::GeneralFont);
    QFont font(QString::fromUtf8(family.text(), family.len()));
    // A negative size counts pixels, as a character height does.
    if (size > 0)
        font.setPointSize(size);
    else
        font.setPixelSize(-size);
    if (weight >= QFont::Thin && weight <= QFont::Black)
        font.setWeight(QFont::Weight(weight));
    font.setItalic(italic != 0);
    return font;
}

void storeViewFont(Settings& settings, ViewFont view, const QFont& font) {
    auto [family, size, weight, italic] = fieldsOf(settings, view);
    family = Str(font.family().left(kFaceLength).toStdString());
    size = font.pointSize() > 0 ? font.pointSize() : -font.pixelSize();
    weight = font.weight();
    italic = font.italic() ? 1 : 0;
}

} // namespace lurvik
