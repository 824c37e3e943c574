#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

namespace tess::test {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tessaline-test-XXXXXX";
    std::vector<char> buffer(tmpl.begin(), tmpl.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("mkdtemp failed for " + tmpl);
    m_path = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Restore permissions that a test may have taken away, then remove.
    for (auto it = fs::recursive_directory_iterator(m_path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            chmod(it->path().c_str(), 0700);
    }
    fs::remove_all(m_path, ec);
}

std::string TempDir::operator/(std::string_view relative) const
{
    return m_path + "/" + std::string(relative);
}

void TempDir::writeFile(std::string_view relative, std::string_view contents) const
{
    fs::path full = *this / relative;
    fs::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out)
        throw std::runtime_error("cannot write " + full.string());
}

void TempDir::makeDir(std::string_view relative) const
{
    fs::create_directories(*this / relative);
}

bool TempDir::exists(std::string_view relative) const
{
    struct stat st;
    return lstat((*this / relative).c_str(), &st) == 0;
}

std::string TempDir::readFile(std::string_view relative) const
{
    std::ifstream in(*this / relative, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace tess::test
