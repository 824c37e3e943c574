#pragma once

#include "core/Error.h"

#include <cstdint>
#include <string>

namespace tess {

// A typed failure of the history format. `toError` turns it into the
// engine's error value: domain kDomain, code = the kind's number, message =
// the user-facing description.
class TransformationHistoryError {
public:
    enum class Kind {
        invalidFormat = 0,
        invalidVersion = 1,
        invalidTokenCount = 2,
        directoryCreationFailed = 3,
    };

    static constexpr const char* kDomain = "app.quenby.Tessaline.TransformationHistoryError";

    static TransformationHistoryError invalidFormat(std::string detail);
    static TransformationHistoryError invalidVersion(std::string version);
    static TransformationHistoryError invalidTokenCount(std::int64_t expected, std::int64_t got);
    static TransformationHistoryError directoryCreationFailed(std::string path);

    Kind kind() const { return m_kind; }
    std::string description() const;
    Error toError() const;

private:
    TransformationHistoryError(Kind kind, std::string payload, std::int64_t expected = 0, std::int64_t got = 0);

    Kind m_kind;
    std::string m_payload;
    std::int64_t m_expected;
    std::int64_t m_got;
};

}  // namespace tess
