#pragma once

#include <chrono>

namespace tess {

// The wall clock as seconds since the Unix epoch.
inline double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace tess
