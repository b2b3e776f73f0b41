#pragma once

#include <cstdint>

// The identifier octets of the ASN.1 elements that messages and certificates are made of; BER
// and DER share them.
namespace mirebolt::platform::tag {

inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kBitString = 0x03;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kNull = 0x05;
inline constexpr std::uint8_t kObjectIdentifier = 0x06;
inline constexpr std::uint8_t kConstructedOctetString = 0x24;  // BER's octets in chunks
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kSet = 0x31;
// Context-specific tags: [0] IMPLICIT of a primitive type, and [n] EXPLICIT or IMPLICIT of a
// constructed one.
inline constexpr std::uint8_t kContextPrimitive0 = 0x80;
inline constexpr std::uint8_t kContextConstructed0 = 0xA0;
inline constexpr std::uint8_t kContextConstructed1 = 0xA1;
inline constexpr std::uint8_t kContextConstructed2 = 0xA2;
inline constexpr std::uint8_t kContextConstructed3 = 0xA3;

}  // namespace mirebolt::platform::tag
