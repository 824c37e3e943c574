#include "history/TransformationHistoryError.h"

#include <utility>

namespace tess {

TransformationHistoryError::TransformationHistoryError(Kind kind, std::string payload, std::int64_t expected, std::int64_t got)
    : m_kind(kind)
    , m_payload(std::move(payload))
    , m_expected(expected)
    , m_got(got)
{
}

TransformationHistoryError TransformationHistoryError::invalidFormat(std::string detail)
{
    return TransformationHistoryError(Kind::invalidFormat, std::move(detail));
}

TransformationHistoryError TransformationHistoryError::invalidVersion(std::string version)
{
    return TransformationHistoryError(Kind::invalidVersion, std::move(version));
}

TransformationHistoryError TransformationHistoryError::invalidTokenCount(std::int64_t expected, std::int64_t got)
{
    return TransformationHistoryError(Kind::invalidTokenCount, {}, expected, got);
}

TransformationHistoryError TransformationHistoryError::directoryCreationFailed(std::string path)
{
    return TransformationHistoryError(Kind::directoryCreationFailed, std::move(path));
}

std::string TransformationHistoryError::description() const
{
    switch (m_kind) {
    case Kind::invalidFormat:
        return "Invalid history file format: " + m_payload;
    case Kind::invalidVersion:
        return "Unsupported history file version: " + m_payload;
    case Kind::invalidTokenCount:
        return "Invalid token count: expected multiple of " + std::to_string(m_expected) + " after header, got remainder " + std::to_string(m_got);
    case Kind::directoryCreationFailed:
        return "Failed to create history directory: " + m_payload;
    }
    return {};
}

Error TransformationHistoryError::toError() const
{
    return Error {kDomain, static_cast<std::int64_t>(m_kind), description()};
}

}  // namespace tess
