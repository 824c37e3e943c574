#pragma once

#include <QString>

#include <string_view>

namespace tess {

// A path or message from the disk or the engine as the views show it: valid
// UTF-8 as it is, each byte of an invalid sequence as "\xhh", so that a name
// that is not UTF-8 never reads as another, valid one (text::displayPath).
QString viewText(std::string_view text);

}  // namespace tess
