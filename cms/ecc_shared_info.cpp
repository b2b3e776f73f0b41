#include "cms/ecc_shared_info.h"

#include <array>

namespace mirebolt::platform {

der::Bytes SharedInfo(const KeyWrapFacts& wrap, const std::optional<der::Bytes>& userKeyingMaterial,
                      std::span<const std::uint8_t> wrapParameters) {
    const auto kekBits = static_cast<std::uint32_t>(wrap.kekBytes * 8);
    const std::array<std::uint8_t, 4> bits{
        static_cast<std::uint8_t>(kekBits >> 24), static_cast<std::uint8_t>(kekBits >> 16),
        static_cast<std::uint8_t>(kekBits >> 8), static_cast<std::uint8_t>(kekBits)};
    der::Bytes keyInfo = der::ObjectIdentifier(wrap.oid);
    der::Append(keyInfo, wrapParameters);
    der::Bytes content = der::Element(tag::kSequence, keyInfo);
    if (userKeyingMaterial) {
        der::Append(content, der::Element(tag::kContextConstructed0,
                                          der::Element(tag::kOctetString, *userKeyingMaterial)));
    }
    der::Append(content,
                der::Element(tag::kContextConstructed2, der::Element(tag::kOctetString, bits)));
    return der::Element(tag::kSequence, content);
}

}  // namespace mirebolt::platform
