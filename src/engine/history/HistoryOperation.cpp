#include "history/HistoryOperation.h"

namespace tess {

std::string_view rawValue(HistoryOperation operation)
{
    switch (operation) {
    case HistoryOperation::rename:
        return "rename";
    case HistoryOperation::undo:
        return "undo";
    }
    return "rename";
}

std::optional<HistoryOperation> historyOperationFromRaw(std::string_view raw)
{
    if (raw == "rename") {
        return HistoryOperation::rename;
    }
    if (raw == "undo") {
        return HistoryOperation::undo;
    }
    return std::nullopt;
}

}  // namespace tess
