#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace mirebolt::testing {

// A DER message taken apart into elements, changed and put together again, so that a test can
// damage one field of a real message and keep every length around it right.
struct DerNode {
    std::uint8_t tag = 0;
    std::vector<std::uint8_t> content;  // a primitive element's content, or raw encoded bytes
    std::vector<DerNode> children;      // a constructed element's elements
    bool raw = false;                   // `content` is already encoded and goes out as it is

    bool constructed() const { return (tag & 0x20) != 0 && !raw; }

    static DerNode Raw(std::vector<std::uint8_t> encoded) {
        DerNode node;
        node.content = std::move(encoded);
        node.raw = true;
        return node;
    }

    // Parses definite-length DER; anything else is a mistake in the test's own input.
    static DerNode Parse(const std::vector<std::uint8_t>& bytes) {
        std::size_t position = 0;
        DerNode node = ParseAt(bytes, position, bytes.size());
        if (position != bytes.size()) {
            throw std::runtime_error("bytes after the element");
        }
        return node;
    }

    std::vector<std::uint8_t> Encode() const {
        if (raw) {
            return content;
        }
        std::vector<std::uint8_t> body;
        if (constructed()) {
            for (const DerNode& child : children) {
                std::vector<std::uint8_t> encoded = child.Encode();
                body.insert(body.end(), encoded.begin(), encoded.end());
            }
        } else {
            body = content;
        }
        std::vector<std::uint8_t> out{tag};
        if (body.size() < 0x80) {
            out.push_back(static_cast<std::uint8_t>(body.size()));
        } else {
            std::vector<std::uint8_t> length;
            for (std::size_t n = body.size(); n != 0; n >>= 8) {
                length.insert(length.begin(), static_cast<std::uint8_t>(n));
            }
            out.push_back(static_cast<std::uint8_t>(0x80 | length.size()));
            out.insert(out.end(), length.begin(), length.end());
        }
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }

    DerNode& operator[](std::size_t index) { return children.at(index); }

  private:
    static DerNode ParseAt(const std::vector<std::uint8_t>& bytes, std::size_t& position,
                           std::size_t end) {
        auto next = [&]() -> std::uint8_t {
            if (position >= end) {
                throw std::runtime_error("element runs past its end");
            }
            return bytes[position++];
        };
        DerNode node;
        node.tag = next();
        std::size_t length = next();
        if (length & 0x80) {
            const std::size_t count = length & 0x7F;
            if (count == 0 || count > 4) {
                throw std::runtime_error("not definite-length DER");
            }
            length = 0;
            for (std::size_t i = 0; i < count; ++i) {
                length = length << 8 | next();
            }
        }
        if (length > end - position) {
            throw std::runtime_error("element runs past its end");
        }
        const std::size_t contentEnd = position + length;
        if (node.constructed()) {
            while (position < contentEnd) {
                node.children.push_back(ParseAt(bytes, position, contentEnd));
            }
        } else {
            node.content.assign(bytes.begin() + static_cast<std::ptrdiff_t>(position),
                                bytes.begin() + static_cast<std::ptrdiff_t>(contentEnd));
            position = contentEnd;
        }
        return node;
    }
};

// The element of an enveloped (or authenticated enveloped) message that holds its content
// type, algorithm and encrypted content: the SEQUENCE that follows the recipients' SET.
inline DerNode& EncryptedContentInfo(DerNode& message) {
    DerNode& fields = message[1][0];
    for (std::size_t i = 1; i < fields.children.size(); ++i) {
        if (fields.children[i - 1].tag == 0x31) {
            return fields.children[i];
        }
    }
    throw std::runtime_error("no recipients' set");
}

}  // namespace mirebolt::testing
