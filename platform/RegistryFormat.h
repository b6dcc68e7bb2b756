#pragma once

#include "platform/RegistryData.h"

#include <string>
#include <string_view>

namespace lurvik {

// The text form of a hive file, readable and editable by hand:
//
//   Lurvik registry 1
//   [Software\Orvanne\Lurvik\Global]
//   "NumPages"=dword:000003e8
//   "UserAgent"="Lurvik/1.0"
//   "LastUrl0"=text(130):"http://example.test/"
//   "CurrentRatings"=hex:01,02,ff
//
// Texts escape '"', '\' and every byte that is a control character or not part of valid UTF-8
// as \xHH; "text(N)" gives a written length beyond the text, the rest being zero bytes. Key
// names escape such bytes, '%', '[' and ']' as %HH.

std::string formatRegistry(const RegistryTree& tree);

// Never fails: a text without the first line reads as an empty hive (a damaged or foreign file
// is treated like a first run), and a line that does not parse is skipped.
RegistryTree parseRegistry(std::string_view text);

} // namespace lurvik
