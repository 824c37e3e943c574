#include "SettingsTestSupport.h"
#include "TestEnvironment.h"

#include "log/AppLogger.h"
#include "plist/PlistXml.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace tess::test {
namespace {

class SettingsTestEnvironment : public ::testing::Environment {
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

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new SettingsTestEnvironment);

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

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeBytes(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

PlistValue readPlistFile(const std::string& path)
{
    Result<PlistValue> parsed = parsePlistXml(fileBytes(path));
    EXPECT_TRUE(parsed.ok()) << path << ": " << (parsed.ok() ? "" : parsed.error().message);
    return parsed.ok() ? std::move(parsed).value() : PlistValue();
}

PlistValue::Dictionary& dictionaryOf(PlistValue& value)
{
    if (PlistValue::Dictionary* dictionary = value.asDictionary()) {
        return *dictionary;
    }
    ADD_FAILURE() << "not a dictionary";
    static PlistValue::Dictionary standIn;
    standIn.clear();
    return standIn;
}

PlistValue::Array& arrayOf(PlistValue& value)
{
    if (PlistValue::Array* array = value.asArray()) {
        return *array;
    }
    ADD_FAILURE() << "not an array";
    static PlistValue::Array standIn;
    standIn.clear();
    return standIn;
}

std::vector<std::string> folderEntries(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                names.emplace_back(entry->d_name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tess::test
