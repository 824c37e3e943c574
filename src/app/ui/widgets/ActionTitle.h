#pragma once

#include <QString>

#include <string_view>

namespace tess {

// A run-time text as the title of an action, button or tab: "&" doubled so
// that it never becomes a shortcut mnemonic. Read as valid UTF-8.
QString actionTitle(std::string_view text);

}  // namespace tess
