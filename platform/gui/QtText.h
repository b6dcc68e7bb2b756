#pragma once

#include "core/Str.h"

#include <QString>

namespace lurvik {

// The program keeps text as UTF-8 in Str; the views speak QString.
inline QString fromStr(const Str& text) {
    return QString::fromUtf8(text.text(), text.len());
}

inline Str toStr(const QString& text) {
    return Str(text.toStdString());
}

} // namespace lurvik
