#pragma once

#include "core/Str.h"

#include <QString>

#include <string_view>

namespace lurvik {

// The program keeps text as UTF-8 in Str; the views speak QString.
inline QString fromStr(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline QString fromStr(const Str& text) {
    return fromStr(text.view());
}

inline Str toStr(const QString& text) {
    return Str(text.toStdString());
}

} // namespace lurvik
