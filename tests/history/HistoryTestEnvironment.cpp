#include "HistoryTestSupport.h"
#include "TestEnvironment.h"

#include "log/AppLogger.h"

#include <gtest/gtest.h>

#include <memory>

namespace tess::test {
namespace {

// The whole program runs with HOME and the XDG folders in a temporary
// folder, so the shared logger (created on first use) writes there and
// never into the real home.
class HistoryTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_home = std::make_unique<IsolatedHome>();
        AppLogger::shared();
    }
    void TearDown() override
    {
        AppLogger::shared().flush();
        m_home.reset();
    }

private:
    std::unique_ptr<IsolatedHome> m_home;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new HistoryTestEnvironment);

}  // namespace

LogCapture::LogCapture()
    : m_offset(fileBytes(AppLogger::shared().logFilePath()).size())
{
}

std::string LogCapture::text() const
{
    AppLogger::shared().flush();
    const std::string all = fileBytes(AppLogger::shared().logFilePath());
    return all.size() > m_offset ? all.substr(m_offset) : std::string();
}

bool LogCapture::contains(std::string_view line) const
{
    return text().find(line) != std::string::npos;
}

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace tess::test
