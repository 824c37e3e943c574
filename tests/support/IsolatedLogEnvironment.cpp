#include "IsolatedLogEnvironment.h"

#include "log/AppLogger.h"

#include <fstream>
#include <sstream>

namespace tess::test {

namespace {

bool g_active = false;

}  // namespace

IsolatedLogEnvironment::IsolatedLogEnvironment(bool debugLogging)
    : m_debugLogging(debugLogging)
{
}

void IsolatedLogEnvironment::SetUp()
{
    m_home = std::make_unique<IsolatedHome>();
    AppLogger& logger = AppLogger::shared();
    if (m_debugLogging) {
        logger.setDebugEnabled(true);
    }
    g_active = true;
}

void IsolatedLogEnvironment::TearDown()
{
    AppLogger::shared().flush();
    g_active = false;
    m_home.reset();
}

bool IsolatedLogEnvironment::active()
{
    return g_active;
}

std::string appLogContents()
{
    AppLogger::shared().flush();
    std::ifstream in(AppLogger::shared().logFilePath(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace tess::test
