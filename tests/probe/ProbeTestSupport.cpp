#include "ProbeTestSupport.h"
#include "TestEnvironment.h"

#include "log/AppLogger.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace tess::test {
namespace {

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class ProbeTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_home = std::make_unique<IsolatedHome>();
        AppLogger::shared().setDebugEnabled(true);
    }
    void TearDown() override
    {
        AppLogger::shared().flush();
        m_home.reset();
    }

private:
    std::unique_ptr<IsolatedHome> m_home;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ProbeTestEnvironment);

}  // namespace

LogCapture::LogCapture()
{
    AppLogger::shared().flush();
    m_offset = fileBytes(AppLogger::shared().logFilePath()).size();
}

std::string LogCapture::text() const
{
    AppLogger::shared().flush();
    const std::string all = fileBytes(AppLogger::shared().logFilePath());
    return all.size() > m_offset ? all.substr(m_offset) : std::string();
}

bool LogCapture::contains(std::string_view fragment) const
{
    return text().find(fragment) != std::string::npos;
}

int LogCapture::count(std::string_view fragment) const
{
    std::istringstream lines(text());
    int found = 0;
    for (std::string line; std::getline(lines, line);) {
        found += line.find(fragment) != std::string::npos ? 1 : 0;
    }
    return found;
}

int LogCapture::count(std::string_view level, std::string_view fragment) const
{
    const std::string tag = "[" + std::string(level) + "]";
    std::istringstream lines(text());
    int found = 0;
    for (std::string line; std::getline(lines, line);) {
        found += line.find(tag) != std::string::npos && line.find(fragment) != std::string::npos ? 1 : 0;
    }
    return found;
}

}  // namespace tess::test
