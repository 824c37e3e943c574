#include "history/HistoryRecordType.h"

namespace tess {

std::string_view rawValue(HistoryRecordType type)
{
    switch (type) {
    case HistoryRecordType::file:
        return "F";
    case HistoryRecordType::directory:
        return "D";
    case HistoryRecordType::removedDirectory:
        return "RD";
    case HistoryRecordType::createdDirectory:
        return "CD";
    case HistoryRecordType::storedMetadata:
        return "SM";
    }
    return "F";
}

std::optional<HistoryRecordType> historyRecordTypeFromRaw(std::string_view raw)
{
    if (raw == "F") {
        return HistoryRecordType::file;
    }
    if (raw == "D") {
        return HistoryRecordType::directory;
    }
    if (raw == "RD") {
        return HistoryRecordType::removedDirectory;
    }
    if (raw == "CD") {
        return HistoryRecordType::createdDirectory;
    }
    if (raw == "SM") {
        return HistoryRecordType::storedMetadata;
    }
    return std::nullopt;
}

}  // namespace tess
