#pragma once

#include "HelperMessage.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

// Payloads of the frames exchanged with the daemon. A frame is a 4-byte
// big-endian payload length followed by the payload (see FrameIO).
//
// Request payload: version byte, selector text, argument count byte, then the
// arguments. Reply payload: version byte, flag byte (0 or 1), message, detail.
// Every text is a 4-byte big-endian length followed by its bytes.
//
// Decoding trusts nothing: a length running past the payload, trailing bytes,
// an unknown version or selector, a wrong argument count, a NUL byte inside an
// argument or a flag other than 0 and 1 make the payload malformed.
class WireFormat {
public:
    static constexpr std::uint8_t kVersion = 1;
    // Largest payload either side accepts: room for two arguments of
    // PATH_MAX bytes many times over.
    static constexpr std::size_t kMaxPayload = 64 * 1024;

    // No payload when the request does not fit in kMaxPayload or its
    // argument count does not match the selector.
    static std::optional<std::string> encodeRequest(const HelperRequest& request);
    static std::optional<HelperRequest> decodeRequest(std::string_view payload);

    // Texts too long for one payload are cut so that the reply fits.
    static std::string encodeReply(const HelperReply& reply);
    static std::optional<HelperReply> decodeReply(std::string_view payload);
};

}  // namespace tess
