#include "platform/message_reader.h"

#include <secerr.h>

#include <array>

#include "platform/ber_reader.h"
#include "platform/error_text.h"
#include "platform/open_failures.h"

namespace mirebolt::platform {

namespace {

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kSet = 0x31;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kConstructedOctetString = 0x24;
constexpr std::uint8_t kObjectIdentifierTag = 0x06;
constexpr std::uint8_t kContext0 = 0xA0;
constexpr std::uint8_t kContext1 = 0xA1;
constexpr std::uint8_t kContext2 = 0xA2;
constexpr std::uint8_t kPrimitive0 = 0x80;

constexpr std::size_t kLargestEntry = 64 * 1024;
constexpr std::size_t kLargestEntries = 4 << 20;
constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr int kMaxChunkDepth = 16;

Failure Malformed() {
    return NssFailure(SEC_ERROR_BAD_DER);
}

std::string TypeName(const std::vector<std::uint8_t>& oidContent) {
    const std::string_view name = MessageTypeName(oidContent);
    return name.empty() ? "unknown (" + DottedOid(oidContent) + ")" : std::string(name);
}

// Reads the content-encryption algorithm and its parameter: the IV for CBC, the nonce (and a
// tag length of 12 to 16 bytes) for GCM.
Status ReadCipher(std::span<const std::uint8_t> ber, MessageOutline& outline,
                  std::size_t& tagBytes) {
    MemorySource source(ber);
    BerReader reader(source);
    Result<BerElement> sequence = reader.ElementAt(0, ber.size());
    if (!sequence || sequence->tag != kSequence) {
        return Malformed();
    }
    BerChildren fields = reader.ChildrenOf(*sequence, ber.size());
    Result<BerElement> oid = reader.ExpectChild(fields, kObjectIdentifierTag);
    if (!oid) {
        return oid.failure();
    }
    Result<std::vector<std::uint8_t>> oidBytes = reader.SmallContent(*oid);
    if (!oidBytes) {
        return oidBytes.failure();
    }
    const ContentAlgorithmFacts* cipher = FindContentAlgorithm(*oidBytes);
    if (cipher == nullptr) {
        return UnsupportedContentCipher("the algorithm " + DottedOid(*oidBytes));
    }
    if ((cipher->mode == ContentMode::Gcm) != outline.authenticated) {
        return UnsupportedContentCipher(std::string(cipher->name) + " in a message of this type");
    }
    outline.cipher = cipher;
    Result<std::optional<BerElement>> parameters = reader.NextChild(fields);
    if (!parameters || !parameters->has_value()) {
        return Malformed();
    }
    if (cipher->mode == ContentMode::Cbc) {
        if ((*parameters)->tag != kOctetString) {
            return Malformed();
        }
        Result<std::vector<std::uint8_t>> iv = reader.SmallContent(**parameters);
        if (!iv || iv->size() != cipher->blockBytes) {
            return Malformed();
        }
        outline.cipherParameter = std::move(*iv);
        return {};
    }
    // GCMParameters ::= SEQUENCE { aes-nonce OCTET STRING, aes-ICVlen INTEGER DEFAULT 12 }
    if ((*parameters)->tag != kSequence) {
        return Malformed();
    }
    BerChildren gcm = reader.ChildrenOf(**parameters, ber.size());
    Result<BerElement> nonce = reader.ExpectChild(gcm, kOctetString);
    if (!nonce) {
        return nonce.failure();
    }
    Result<std::vector<std::uint8_t>> nonceBytes = reader.SmallContent(*nonce);
    if (!nonceBytes || nonceBytes->empty()) {
        return Malformed();
    }
    outline.cipherParameter = std::move(*nonceBytes);
    tagBytes = 12;
    Result<std::optional<BerElement>> length = reader.NextChild(gcm);
    if (!length) {
        return length.failure();
    }
    if (length->has_value()) {
        Result<std::vector<std::uint8_t>> value = reader.SmallContent(**length);
        if ((*length)->tag != kInteger || !value || value->size() != 1 || (*value)[0] < 12 ||
            (*value)[0] > 16) {
            return Malformed();
        }
        tagBytes = (*value)[0];
    }
    return {};
}

class Reader {
  public:
    Reader(BerStream& ber, ContentOpener* opener) : ber_(ber), opener_(opener) {}

    Result<MessageOutline> Read(MessageForm form) {
        outline_.form = form;
        if (Status read = ReadAll(); !read) {
            return read.failure();
        }
        return std::move(outline_);
    }

  private:
    Status ReadAll() {
        BerFrame top = ber_.TopFrame();
        Result<bool> empty = ber_.AtEnd();
        if (!empty) {
            return empty.failure();
        }
        if (*empty) {
            return Malformed();
        }
        Result<BerHeader> contentInfo = ber_.Expect(top, kSequence);
        if (!contentInfo) {
            return contentInfo.failure();
        }
        Note(*contentInfo);
        Result<BerFrame> info = ber_.Enter(*contentInfo, top);
        if (!info) {
            return info.failure();
        }
        Result<std::vector<std::uint8_t>> type = SmallOid(*info);
        if (!type) {
            return type.failure();
        }
        if (OidMatches(*type, oid::kAuthEnvelopedData)) {
            outline_.authenticated = true;
        } else if (!OidMatches(*type, oid::kEnvelopedData)) {
            return NotEncryptedMessage(TypeName(*type));
        }
        Result<BerFrame> wrapper = EnterNext(*info, kContext0);
        if (!wrapper) {
            return wrapper.failure();
        }
        Result<BerFrame> enveloped = EnterNext(*wrapper, kSequence);
        if (!enveloped) {
            return enveloped.failure();
        }
        if (Status fields = ReadEnvelopedData(*enveloped); !fields) {
            return fields;
        }
        if (Status closed = ber_.Close(*wrapper); !closed) {
            return closed;
        }
        if (Status closed = ber_.Close(*info); !closed) {
            return closed;
        }
        Result<bool> end = ber_.AtEnd();
        if (!end) {
            return end.failure();
        }
        if (!*end) {
            return BytesAfterMessage();
        }
        if (decryptor_) {
            return decryptor_->Finish(tag_);
        }
        return {};
    }

    // EnvelopedData ::= SEQUENCE { version, originatorInfo [0] OPTIONAL, recipientInfos,
    //   encryptedContentInfo, unprotectedAttrs [1] OPTIONAL }
    // AuthEnvelopedData ::= SEQUENCE { version, originatorInfo [0] OPTIONAL, recipientInfos,
    //   authEncryptedContentInfo, authAttrs [1] OPTIONAL, mac, unauthAttrs [2] OPTIONAL }
    Status ReadEnvelopedData(BerFrame& fields) {
        if (Status skipped = SkipNext(fields, kInteger); !skipped) {
            return skipped;
        }
        Result<std::optional<BerHeader>> originator = ber_.NextIf(fields, kContext0);
        if (!originator) {
            return originator.failure();
        }
        if (originator->has_value()) {
            Note(**originator);
            if (Status skipped = ber_.Skip(**originator, fields); !skipped) {
                return skipped;
            }
        }
        if (Status recipients = ReadRecipients(fields); !recipients) {
            return recipients;
        }
        if (Status content = ReadEncryptedContentInfo(fields); !content) {
            return content;
        }
        if (outline_.authenticated) {
            Result<std::optional<BerHeader>> attributes = ber_.NextIf(fields, kContext1);
            if (!attributes) {
                return attributes.failure();
            }
            if (attributes->has_value()) {
                return UnsupportedMessageFeature("carries authenticated attributes");
            }
            Result<BerHeader> mac = ber_.Expect(fields, kOctetString);
            if (!mac) {
                return mac.failure();
            }
            Result<std::vector<std::uint8_t>> tag = ber_.ReadSmall(*mac, 16);
            if (!tag) {
                return tag.failure();
            }
            if (tag->size() != tagBytes_) {
                return TamperedMessage();
            }
            tag_ = std::move(*tag);
        }
        const std::uint8_t trailing = outline_.authenticated ? kContext2 : kContext1;
        Result<std::optional<BerHeader>> attributes = ber_.NextIf(fields, trailing);
        if (!attributes) {
            return attributes.failure();
        }
        if (attributes->has_value()) {
            Note(**attributes);
            if (Status skipped = ber_.Skip(**attributes, fields); !skipped) {
                return skipped;
            }
        }
        return ber_.Close(fields);
    }

    Status ReadRecipients(BerFrame& fields) {
        Result<BerFrame> infos = EnterNext(fields, kSet);
        if (!infos) {
            return infos.failure();
        }
        std::size_t total = 0;
        for (;;) {
            Result<bool> more = ber_.HasMore(*infos);
            if (!more) {
                return more.failure();
            }
            if (!*more) {
                break;
            }
            Result<BerHeader> info = ber_.Next(*infos);
            if (!info) {
                return info.failure();
            }
            Note(*info);
            Result<std::vector<std::uint8_t>> bytes = ber_.Capture(*info, *infos, kLargestEntry);
            if (!bytes) {
                return bytes.failure();
            }
            total += bytes->size();
            if (total > kLargestEntries) {
                return Malformed();
            }
            Result<std::vector<RecipientEntry>> entries = ParseRecipientInfo(*bytes);
            if (!entries) {
                return entries.failure();
            }
            for (RecipientEntry& entry : *entries) {
                outline_.recipients.push_back(std::move(entry));
            }
        }
        return {};
    }

    // EncryptedContentInfo ::= SEQUENCE { contentType, contentEncryptionAlgorithm,
    //   encryptedContent [0] IMPLICIT OCTET STRING OPTIONAL }
    Status ReadEncryptedContentInfo(BerFrame& fields) {
        Result<BerFrame> info = EnterNext(fields, kSequence);
        if (!info) {
            return info.failure();
        }
        Result<std::vector<std::uint8_t>> type = SmallOid(*info);
        if (!type) {
            return type.failure();
        }
        Result<BerHeader> algorithm = ber_.Expect(*info, kSequence);
        if (!algorithm) {
            return algorithm.failure();
        }
        Note(*algorithm);
        Result<std::vector<std::uint8_t>> algorithmBytes = ber_.Capture(*algorithm, *info, 4096);
        if (!algorithmBytes) {
            return algorithmBytes.failure();
        }
        if (!OidMatches(*type, oid::kData)) {
            return NotPlainData(TypeName(*type));
        }
        if (Status cipher = ReadCipher(*algorithmBytes, outline_, tagBytes_); !cipher) {
            return cipher;
        }
        Result<bool> present = ber_.HasMore(*info);
        if (!present) {
            return present.failure();
        }
        if (!*present) {
            return NoEncryptedContent();
        }
        Result<BerHeader> content = ber_.Next(*info);
        if (!content) {
            return content.failure();
        }
        Note(*content);
        if (content->tag != kPrimitive0 && content->tag != kContext0) {
            return Malformed();
        }
        const bool cbc = outline_.cipher->mode == ContentMode::Cbc;
        if (cbc && content->tag == kPrimitive0 && content->length == 0) {
            return NoEncryptedContent();
        }
        if (opener_ != nullptr) {
            Result<std::unique_ptr<ContentDecryptor>> decryptor = opener_->Begin(outline_);
            if (!decryptor) {
                return decryptor.failure();
            }
            decryptor_ = std::move(*decryptor);
        }
        if (Status read = ReadContent(*content, *info); !read) {
            return read;
        }
        if (cbc && outline_.encryptedBytes == 0) {
            return NoEncryptedContent();
        }
        return ber_.Close(*info);
    }

    // The content octets, primitive or in chunks of any depth, to the decryptor.
    Status ReadContent(const BerHeader& content, const BerFrame& parent) {
        auto take = [this](std::span<const std::uint8_t> piece) -> Status {
            outline_.encryptedBytes += piece.size();
            return decryptor_->Take(piece);
        };
        if (!content.constructed()) {
            return Primitive(content, take);
        }
        std::array<BerFrame, kMaxChunkDepth> frames;
        std::size_t depth = 0;
        Result<BerFrame> first = ber_.Enter(content, parent);
        if (!first) {
            return first.failure();
        }
        frames[depth++] = *first;
        while (depth > 0) {
            BerFrame& frame = frames[depth - 1];
            Result<bool> more = ber_.HasMore(frame);
            if (!more) {
                return more.failure();
            }
            if (!*more) {
                --depth;
                continue;
            }
            Result<BerHeader> chunk = ber_.Next(frame);
            if (!chunk) {
                return chunk.failure();
            }
            if (chunk->tag == kOctetString) {
                if (chunk->length == 0) {
                    continue;
                }
                if (Status read = Primitive(*chunk, take); !read) {
                    return read;
                }
                continue;
            }
            if (chunk->tag != kConstructedOctetString || depth == frames.size()) {
                return Malformed();
            }
            Note(*chunk);
            Result<BerFrame> inner = ber_.Enter(*chunk, frame);
            if (!inner) {
                return inner.failure();
            }
            frames[depth++] = *inner;
        }
        return {};
    }

    template <class Take>
    Status Primitive(const BerHeader& piece, Take& take) {
        if (decryptor_) {
            return ber_.StreamContent(piece, &take);
        }
        outline_.encryptedBytes += piece.length;
        return ber_.StreamContent(piece, static_cast<Take*>(nullptr));
    }

    Result<std::vector<std::uint8_t>> SmallOid(BerFrame& frame) {
        Result<BerHeader> oid = ber_.Expect(frame, kObjectIdentifierTag);
        if (!oid) {
            return oid.failure();
        }
        return ber_.ReadSmall(*oid, 128);
    }

    Result<BerFrame> EnterNext(BerFrame& parent, std::uint8_t tag) {
        Result<BerHeader> header = ber_.Expect(parent, tag);
        if (!header) {
            return header.failure();
        }
        Note(*header);
        return ber_.Enter(*header, parent);
    }

    Status SkipNext(BerFrame& parent, std::uint8_t tag) {
        Result<BerHeader> header = ber_.Expect(parent, tag);
        if (!header) {
            return header.failure();
        }
        return ber_.Skip(*header, parent);
    }

    void Note(const BerHeader& header) {
        outline_.indefiniteLengths = outline_.indefiniteLengths || header.indefinite;
    }

    BerStream& ber_;
    ContentOpener* opener_;
    MessageOutline outline_;
    std::unique_ptr<ContentDecryptor> decryptor_;
    std::size_t tagBytes_ = 0;
    std::vector<std::uint8_t> tag_;
};

// The first bytes of a stream, to recognise its form.
Result<std::vector<std::uint8_t>> ReadHead(ByteStream& input) {
    std::vector<std::uint8_t> head(kHeadBytes);
    std::size_t filled = 0;
    Result<std::size_t> got = input.Read(head);
    if (!got) {
        return got.failure();
    }
    filled = *got;
    head.resize(filled);
    return head;
}

}  // namespace

Result<MessageOutline> ReadMessage(ByteStream& input, ByteSource* source, ContentOpener* opener) {
    Result<std::vector<std::uint8_t>> head = ReadHead(input);
    if (!head) {
        return head.failure();
    }
    const bool wholeInput = head->size() < kHeadBytes;
    Result<ArmourKind> armour = RecogniseArmour(*head, wholeInput);
    if (!armour) {
        return armour.failure();
    }
    if (armour->form == MessageForm::Binary) {
        if (source != nullptr) {
            // A source is read again from its start, so that its content can be skipped.
            SourceStream again(*source);
            BerStream ber(again, &again, source->Size());
            return Reader(ber, opener).Read(MessageForm::Binary);
        }
        ReplayStream replay(std::move(*head), 0, input);
        BerStream ber(replay, nullptr, std::nullopt);
        return Reader(ber, opener).Read(MessageForm::Binary);
    }
    ReplayStream replay(std::move(*head), armour->bodyStart, input);
    Base64Stream decoded(replay);
    BerStream ber(decoded, nullptr, std::nullopt);
    return Reader(ber, opener).Read(armour->form);
}

}  // namespace mirebolt::platform
