#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace tess {

// Gives the whole pages of `values`' storage past its size back to the
// system: a list that shrinks while another grows then holds no memory it no
// longer uses. The storage stays the vector's; growing over those pages again
// finds them zeroed, which is fine for storage that holds no element.
template <class T>
void releaseUnusedPages(std::vector<T>& values)
{
    static const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    if (values.capacity() == 0 || pageSize == 0) {
        return;
    }
    const auto first = reinterpret_cast<std::uintptr_t>(values.data() + values.size());
    const auto last = reinterpret_cast<std::uintptr_t>(values.data() + values.capacity());
    const std::uintptr_t begin = (first + pageSize - 1) / pageSize * pageSize;
    const std::uintptr_t end = last / pageSize * pageSize;
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
    }
}

}  // namespace tess
