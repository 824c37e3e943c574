#include "history/HistoryRecordStatus.h"

namespace tess {

std::string_view rawValue(HistoryRecordStatus status)
{
    switch (status) {
    case HistoryRecordStatus::ok:
        return "ok";
    case HistoryRecordStatus::fail:
        return "fail";
    case HistoryRecordStatus::verifyFail:
        return "verify-fail";
    }
    return "ok";
}

std::optional<HistoryRecordStatus> historyRecordStatusFromRaw(std::string_view raw)
{
    if (raw == "ok") {
        return HistoryRecordStatus::ok;
    }
    if (raw == "fail") {
        return HistoryRecordStatus::fail;
    }
    if (raw == "verify-fail") {
        return HistoryRecordStatus::verifyFail;
    }
    return std::nullopt;
}

}  // namespace tess
