#include "coding/Uuid.h"

#include "core/HexDigit.h"

#include "coding/DecodingError.h"
#include "coding/ValueDecoder.h"

#include <random>

namespace tess {

namespace {

bool isDashPosition(std::size_t i)
{
    return i == 8 || i == 13 || i == 18 || i == 23;
}

}  // namespace

Uuid Uuid::random()
{
    thread_local std::mt19937_64 engine = [] {
        std::random_device device;
        std::seed_seq seed {device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    Bytes bytes;
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        std::uint64_t word = engine();
        for (std::size_t j = 0; j < 8; ++j) {
            bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
        }
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return Uuid(bytes);
}

std::optional<Uuid> Uuid::fromString(std::string_view text)
{
    if (text.size() != 36) {
        return std::nullopt;
    }
    Bytes bytes {};
    std::size_t byteIndex = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (isDashPosition(i)) {
            if (text[i] != '-') {
                return std::nullopt;
            }
            ++i;
            continue;
        }
        int high = hexDigitValue(text[i]);
        int low = hexDigitValue(text[i + 1]);
        if (high < 0 || low < 0 || isDashPosition(i + 1)) {
            return std::nullopt;
        }
        bytes[byteIndex++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    return Uuid(bytes);
}

std::string Uuid::toString() const
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < m_bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out += '-';
        }
        out += kDigits[m_bytes[i] >> 4];
        out += kDigits[m_bytes[i] & 0x0F];
    }
    return out;
}

PlistValue Uuid::encode() const
{
    return PlistValue(toString());
}

Result<Uuid> Uuid::decode(const PlistValue& value)
{
    auto text = ValueDecoder::decodeString(value);
    if (!text.ok()) {
        return text.error();
    }
    std::optional<Uuid> uuid = fromString(*text);
    if (!uuid) {
        return DecodingError::dataCorrupted("Attempted to decode UUID from invalid UUID string.");
    }
    return *uuid;
}

}  // namespace tess

std::size_t std::hash<tess::Uuid>::operator()(const tess::Uuid& uuid) const noexcept
{
    std::size_t h = 1469598103934665603ULL;
    for (std::uint8_t b : uuid.bytes()) {
        h = (h ^ b) * 1099511628211ULL;
    }
    return h;
}
