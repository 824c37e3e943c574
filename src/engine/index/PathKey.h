#pragma once

#include <string>
#include <string_view>

namespace tess {

// The identity of an index row: the path in Unicode normalisation form C,
// without case folding or any other change.
//
// A Linux name may be bytes that are not UTF-8. Such a component keeps its
// raw bytes in the key (normalising its Windows-1252 reading instead would
// give two different names the same key); the valid components around it are
// still normalised.
std::string pathKey(std::string_view path);

}  // namespace tess
