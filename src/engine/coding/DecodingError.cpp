#include "coding/DecodingError.h"

#include <string>

namespace tess {

namespace {

Error makeError(DecodingError::Kind kind, std::string message)
{
    return Error {kDecodingErrorDomain, static_cast<std::int64_t>(kind), std::move(message)};
}

}  // namespace

Error DecodingError::typeMismatch(std::string_view expectedType, std::string_view foundDescription)
{
    std::string message = "Expected to decode ";
    message += expectedType;
    message += " but found ";
    message += foundDescription;
    message += " instead.";
    return makeError(Kind::typeMismatch, std::move(message));
}

Error DecodingError::typeMismatchDescribed(std::string description)
{
    return makeError(Kind::typeMismatch, std::move(description));
}

Error DecodingError::keyNotFound(std::string_view key)
{
    std::string message = "No value associated with key CodingKeys(stringValue: \"";
    message += key;
    message += "\", intValue: nil) (\"";
    message += key;
    message += "\").";
    return makeError(Kind::keyNotFound, std::move(message));
}

Error DecodingError::dataCorrupted(std::string description)
{
    return makeError(Kind::dataCorrupted, std::move(description));
}

Error DecodingError::invalidRawValue(std::string_view typeName, std::string_view raw)
{
    std::string message = "Cannot initialize ";
    message += typeName;
    message += " from invalid String value ";
    message += raw;
    return makeError(Kind::dataCorrupted, std::move(message));
}

bool DecodingError::isDecodingError(const Error& error)
{
    return error.domain == kDecodingErrorDomain;
}

std::optional<DecodingError::Kind> DecodingError::kindOf(const Error& error)
{
    if (!isDecodingError(error)) {
        return std::nullopt;
    }
    switch (static_cast<Kind>(error.code)) {
    case Kind::typeMismatch:
    case Kind::keyNotFound:
    case Kind::dataCorrupted:
        return static_cast<Kind>(error.code);
    }
    return std::nullopt;
}

}  // namespace tess
