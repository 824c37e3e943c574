#include "SettingsTestSupport.h"
#include "IsolatedLogEnvironment.h"

#include "plist/PlistXml.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace tess::test {
namespace {

// HOME and the XDG folders in a temporary folder, debug logging on.
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new IsolatedLogEnvironment);

}  // namespace

PlistValue::Date fixedDate()
{
    return PlistValue::Date(std::chrono::seconds(1772600767));  // 2026-03-04T05:06:07Z
}

TessalinePreset customPreset(const char* uuid, std::string name, TransformationSettings settings)
{
    return TessalinePreset {*Uuid::fromString(uuid), std::move(name), std::move(settings), false};
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
