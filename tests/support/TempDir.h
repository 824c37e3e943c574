#pragma once

#include <string>
#include <string_view>

namespace tess::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when
// the object goes away. Test code only.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + relative
    std::string operator/(std::string_view relative) const;

    // Creates a file (and its missing parents) holding `contents`.
    void writeFile(std::string_view relative, std::string_view contents = {}) const;
    // Creates a folder and its missing parents.
    void makeDir(std::string_view relative) const;
    bool exists(std::string_view relative) const;
    std::string readFile(std::string_view relative) const;

private:
    std::string m_path;
};

}  // namespace tess::test
