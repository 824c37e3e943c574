#pragma once

#include <string>

namespace tess {

// The current thread for the log: "<QThread: 0x...>{name = main}", with the
// thread's object name, or "(null)" when it has none.
std::string currentThreadDescription();

}  // namespace tess
