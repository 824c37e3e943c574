#include "rules/TargetEncoding.h"

#include "core/RawValueEnum.h"

#include "coding/ValueDecoder.h"

namespace tess {

std::string_view TargetEncoding::rawValue() const
{
    switch (m_value) {
    case asciiOnly:
        return "ASCII";
    case utf8Basic:
        return "UTF-8 Basic";
    case utf8Full:
        return "UTF-8 Full";
    case utf8FullNFC:
        return "UTF-8 Full (NFC)";
    }
    return {};
}

std::optional<TargetEncoding> TargetEncoding::fromRawValue(std::string_view raw)
{
    return caseWithRawValue<TargetEncoding>(raw);
}

const std::array<TargetEncoding, 4>& TargetEncoding::allCases()
{
    static constexpr std::array<TargetEncoding, 4> kAll {asciiOnly, utf8Basic, utf8Full, utf8FullNFC};
    return kAll;
}

PlistValue TargetEncoding::encode() const
{
    return PlistValue(std::string(rawValue()));
}

Result<TargetEncoding> TargetEncoding::decode(const PlistValue& value)
{
    return ValueDecoder::decodeRawValue<TargetEncoding>(value, "TargetEncoding", fromRawValue);
}

}  // namespace tess
