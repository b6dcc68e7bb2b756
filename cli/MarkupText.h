#pragma once

#include <string>

namespace lurvik::cli {

// Text for an XML document: valid UTF-8, with & < > " ' as references and the control characters
// XML does not allow left out.
std::string markupText(const std::string& text);

} // namespace lurvik::cli
