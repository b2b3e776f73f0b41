#include "cms/message_reader.h"

#include <secerr.h>

#include <algorithm>
#include <array>

#include "asn1/asn1_tags.h"
#include "asn1/ber_cursor.h"
#include "asn1/ber_header.h"
#include "asn1/der_writer.h"
#include "asn1/malformed.h"
#include "base/replay_stream.h"
#include "cms/open_failures.h"
#include "nss/error_text.h"
#include "nss/nss_runtime.h"

namespace mirebolt::platform {

namespace {

// A recipient entry is a few hundred bytes (an RSA key of 16384 bits makes 2 KiB); bounds that
// are far above them keep what a crafted message can make us hold small. A key agreement entry
// lists all its recipients, so the bound on all of them counts.
constexpr std::size_t kLargestEntry = 64 * 1024;
constexpr std::size_t kLargestEntries = 4 << 20;
// What a reading without an opener keeps of the recipient entries, for `info` to list: a
// few times the largest entry, however many there are.
constexpr std::size_t kListedEntries = 1000;
constexpr std::size_t kListedBytes = 4 * kLargestEntry;
// The content-encryption algorithm: an identifier and an IV or GCM's parameters.
constexpr std::size_t kLargestAlgorithm = 4096;
// Authenticated attributes name a content type, a time or a label: a few hundred bytes.
constexpr std::size_t kLargestAttributes = 64 * 1024;
// Enough of the start to tell DER from PEM and S/MIME whatever headers come first.
constexpr std::size_t kHeadBytes = 64 * 1024;
// A ContentInfo's start: its header, its content type's header and that type's identifier.
constexpr std::size_t kContentTypeBytes = 2 * kLongestBerHeader + 128;
// The arc of every PKCS #7 and S/MIME message type, 1.2.840.113549.1.
constexpr std::array<std::uint8_t, 7> kPkcsArc{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01};
// Streaming writers put the content in chunks one or two levels deep; deeper is not BER anyone
// writes, and the frames of the walk are held in a fixed array.
constexpr int kMaxChunkDepth = 16;
// Chunks smaller than this are gathered before they reach the cipher.
constexpr std::size_t kStagedBytes = 256 * 1024;

std::string TypeName(const std::vector<std::uint8_t>& oidContent) {
    const std::string_view name = MessageTypeName(oidContent);
    return name.empty() ? "unknown (" + DottedOid(oidContent) + ")" : std::string(name);
}

// Reads the content-encryption algorithm's identifier and parameter: the IV for CBC, the nonce
// (and a tag length of 12 to 16 bytes) for GCM.
Status ReadCipher(BerCursor fields, MessageOutline& outline, std::size_t& tagBytes) {
    ASSIGN_OR_RETURN(const std::span<const std::uint8_t> oidBytes,
                     fields.Primitive(tag::kObjectIdentifier));
    const ContentAlgorithmFacts* cipher = FindContentAlgorithm(oidBytes);
    if (cipher == nullptr) {
        return UnsupportedContentCipher("the algorithm " + DottedOid(oidBytes));
    }
    if ((cipher->mode == ContentMode::Gcm) != outline.authenticated) {
        return UnsupportedContentCipher(std::string(cipher->name) + " in a message of this type");
    }
    outline.cipher = cipher;
    if (cipher->mode == ContentMode::Cbc) {
        ASSIGN_OR_RETURN(const Octets iv, fields.OctetString());
        if (iv.size() != cipher->blockBytes) {
            return Malformed();
        }
        outline.cipherParameter = iv.Copy();
        return {};
    }
    // GCMParameters ::= SEQUENCE { aes-nonce OCTET STRING, aes-ICVlen INTEGER DEFAULT 12 }
    ASSIGN_OR_RETURN(BerCursor gcm, fields.Enter(tag::kSequence));
    ASSIGN_OR_RETURN(const Octets nonce, gcm.OctetString());
    if (nonce.empty()) {
        return Malformed();
    }
    outline.cipherParameter = nonce.Copy();
    tagBytes = 12;
    if (!gcm.empty()) {
        ASSIGN_OR_RETURN(const std::span<const std::uint8_t> length, gcm.Primitive(tag::kInteger));
        if (length.size() != 1 || length[0] < 12 || length[0] > 16) {
            return Malformed();
        }
        tagBytes = length[0];
    }
    return {};
}

// Whether `start`, the input's first bytes (fewer than kContentTypeBytes only where the input
// ends), can begin ContentInfo ::= SEQUENCE { contentType OBJECT IDENTIFIER, ... }. An input cut
// short before its type was read can, if what is there belongs to a message type; other bytes
// are no message at all, rather than a truncated one.
bool StartsLikeContentInfo(std::span<const std::uint8_t> start) {
    BerHeader info;
    if (start.empty() || start[0] != tag::kSequence) {
        return false;
    }
    const HeaderDecoding decoded = DecodeBerHeader(start, info);
    if (decoded != HeaderDecoding::Complete) {
        return decoded == HeaderDecoding::TooShort;
    }
    const std::span<const std::uint8_t> fields = start.subspan(info.headerLength);
    if (fields.empty()) {
        return true;
    }
    BerHeader type;
    if (fields[0] != tag::kObjectIdentifier) {
        return false;
    }
    const HeaderDecoding typeDecoded = DecodeBerHeader(fields, type);
    if (typeDecoded != HeaderDecoding::Complete) {
        return typeDecoded == HeaderDecoding::TooShort;
    }
    if (type.length == 0 || type.length > 128) {
        return false;
    }
    const std::span<const std::uint8_t> oid = fields.subspan(type.headerLength);
    if (oid.size() >= type.length) {
        return true;  // a whole identifier: the type it names is told
    }
    const std::size_t compared = std::min(oid.size(), kPkcsArc.size());
    return std::equal(oid.begin(), oid.begin() + static_cast<std::ptrdiff_t>(compared),
                      kPkcsArc.begin());
}

class EnvelopeParser {
  public:
    EnvelopeParser(BerStream& ber, ContentOpener* opener) : ber_(ber), opener_(opener) {}

    Result<MessageOutline> Read(MessageForm form) {
        outline_.form = form;
        RETURN_IF_FAILED(ReadAll());
        return std::move(outline_);
    }

  private:
    Status ReadAll() {
        BerFrame top = ber_.TopFrame();
        ASSIGN_OR_RETURN(const bool empty, ber_.AtEnd());
        if (empty) {
            return Malformed();
        }
        ASSIGN_OR_RETURN(const std::span<const std::uint8_t> start, ber_.Peek(kContentTypeBytes));
        if (!StartsLikeContentInfo(start)) {
            return NotAMessage();
        }
        ASSIGN_OR_RETURN(BerFrame info, EnterNext(top, tag::kSequence));
        ASSIGN_OR_RETURN(const std::vector<std::uint8_t> type, SmallOid(info));
        if (OidMatches(type, oid::kAuthEnvelopedData)) {
            outline_.authenticated = true;
        } else if (!OidMatches(type, oid::kEnvelopedData)) {
            return NotEncryptedMessage(TypeName(type));
        }
        ASSIGN_OR_RETURN(BerFrame wrapper, EnterNext(info, tag::kContextConstructed0));
        ASSIGN_OR_RETURN(BerFrame enveloped, EnterNext(wrapper, tag::kSequence));
        RETURN_IF_FAILED(ReadEnvelopedData(enveloped));
        RETURN_IF_FAILED(ber_.Close(wrapper));
        RETURN_IF_FAILED(ber_.Close(info));
        ASSIGN_OR_RETURN(const bool end, ber_.AtEnd());
        if (!end) {
            return BytesAfterMessage();
        }
        if (decryptor_) {
            return decryptor_->Finish(tag_, authenticatedAttributes_);
        }
        return {};
    }

    // EnvelopedData ::= SEQUENCE { version, originatorInfo [0] OPTIONAL, recipientInfos,
    //   encryptedContentInfo, unprotectedAttrs [1] OPTIONAL }
    // AuthEnvelopedData ::= SEQUENCE { version, originatorInfo [0] OPTIONAL, recipientInfos,
    //   authEncryptedContentInfo, authAttrs [1] OPTIONAL, mac, unauthAttrs [2] OPTIONAL }
    Status ReadEnvelopedData(BerFrame& fields) {
        ASSIGN_OR_RETURN(const BerHeader version, ber_.Expect(fields, tag::kInteger));
        RETURN_IF_FAILED(ber_.Skip(version, fields));
        RETURN_IF_FAILED(SkipIfThere(fields, tag::kContextConstructed0));
        RETURN_IF_FAILED(ReadRecipients(fields));
        RETURN_IF_FAILED(ReadEncryptedContentInfo(fields));
        if (outline_.authenticated) {
            RETURN_IF_FAILED(ReadAuthenticatedAttributes(fields));
            ASSIGN_OR_RETURN(tag_, ReadMac(fields));
            if (tag_.size() != tagBytes_) {
                return TamperedMessage();
            }
        }
        const std::uint8_t trailing =
            outline_.authenticated ? tag::kContextConstructed2 : tag::kContextConstructed1;
        RETURN_IF_FAILED(SkipIfThere(fields, trailing));
        return ber_.Close(fields);
    }

    // authAttrs [1] IMPLICIT SET OF Attribute comes after the content; the tag covers the
    // attributes' DER under the SET OF tag, which the cipher adds to the hash of the content
    // it has already seen.
    Status ReadAuthenticatedAttributes(BerFrame& fields) {
        ASSIGN_OR_RETURN(const std::optional<BerHeader> attributes,
                         ber_.NextIf(fields, tag::kContextConstructed1));
        if (!attributes) {
            return {};
        }
        NoteLengthForm(*attributes);
        ASSIGN_OR_RETURN(const std::span<const std::uint8_t> content,
                         ber_.HoldContent(*attributes, fields, kLargestAttributes));
        authenticatedAttributes_ = der::Header(tag::kSet, content.size());
        authenticatedAttributes_.insert(authenticatedAttributes_.end(), content.begin(),
                                        content.end());
        return {};
    }

    Status ReadRecipients(BerFrame& fields) {
        ASSIGN_OR_RETURN(BerFrame infos, EnterNext(fields, tag::kSet));
        std::size_t total = 0;
        for (;;) {
            ASSIGN_OR_RETURN(const bool more, ber_.HasMore(infos));
            if (!more) {
                return {};
            }
            ASSIGN_OR_RETURN(const BerHeader info, ber_.Next(infos));
            NoteLengthForm(info);
            ASSIGN_OR_RETURN(const std::span<const std::uint8_t> content,
                             ber_.HoldContent(info, infos, kLargestEntry));
            total += content.size();
            if (total > kLargestEntries) {
                return Malformed();
            }
            RETURN_IF_FAILED(ParseRecipientInfo(info.tag, BerCursor(content),
                                                [this](RecipientEntry entry) -> Status {
                                                    Note(std::move(entry));
                                                    return {};
                                                }));
        }
    }

    // An entry to the opener, or to the outline's list while that stays small.
    void Note(RecipientEntry entry) {
        ++outline_.recipientCount;
        if (opener_ != nullptr) {
            opener_->Consider(std::move(entry));
            return;
        }
        const std::size_t bytes = entry.id.issuer.size() + entry.id.serial.size() +
                                  entry.id.keyIdentifier.size() + entry.algorithm.size() +
                                  entry.unusable.size();
        if (outline_.recipients.size() == kListedEntries || listedBytes_ + bytes > kListedBytes) {
            listFull_ = true;
        }
        if (listFull_) {
            return;
        }
        listedBytes_ += bytes;
        // What a list shows: the key material stays out of it.
        entry.encryptedKey = {};
        entry.oaepLabel = {};
        entry.agreement.reset();
        outline_.recipients.push_back(std::move(entry));
    }

    // EncryptedContentInfo ::= SEQUENCE { contentType, contentEncryptionAlgorithm,
    //   encryptedContent [0] IMPLICIT OCTET STRING OPTIONAL }
    Status ReadEncryptedContentInfo(BerFrame& fields) {
        ASSIGN_OR_RETURN(BerFrame info, EnterNext(fields, tag::kSequence));
        ASSIGN_OR_RETURN(const std::vector<std::uint8_t> type, SmallOid(info));
        ASSIGN_OR_RETURN(const BerHeader algorithm, ber_.Expect(info, tag::kSequence));
        NoteLengthForm(algorithm);
        ASSIGN_OR_RETURN(const std::span<const std::uint8_t> algorithmFields,
                         ber_.HoldContent(algorithm, info, kLargestAlgorithm));
        if (!OidMatches(type, oid::kData)) {
            return NotPlainData(TypeName(type));
        }
        RETURN_IF_FAILED(ReadCipher(BerCursor(algorithmFields), outline_, tagBytes_));
        ASSIGN_OR_RETURN(const bool present, ber_.HasMore(info));
        if (!present) {
            return NoEncryptedContent();
        }
        ASSIGN_OR_RETURN(const BerHeader content, ber_.Next(info));
        NoteLengthForm(content);
        if (content.tag != tag::kContextPrimitive0 && content.tag != tag::kContextConstructed0) {
            return Malformed();
        }
        const bool cbc = outline_.cipher->mode == ContentMode::Cbc;
        if (cbc && content.tag == tag::kContextPrimitive0 && content.length == 0) {
            return NoEncryptedContent();
        }
        if (opener_ != nullptr) {
            ASSIGN_OR_RETURN(decryptor_, opener_->Begin(outline_));
        }
        RETURN_IF_FAILED(ReadContent(content, info));
        if (cbc && outline_.encryptedBytes == 0) {
            return NoEncryptedContent();
        }
        return ber_.Close(info);
    }

    // The content octets, primitive or in chunks of any depth, to the decryptor.
    Status ReadContent(const BerHeader& content, const BerFrame& parent) {
        auto take = [this](std::span<const std::uint8_t> piece) -> Status {
            outline_.encryptedBytes += piece.size();
            return Stage(piece);
        };
        if (!content.constructed()) {
            RETURN_IF_FAILED(ReadContentOctets(content, take));
            return FlushStaged();
        }
        std::array<BerFrame, kMaxChunkDepth> frames;
        std::size_t depth = 0;
        ASSIGN_OR_RETURN(frames[depth++], ber_.Enter(content, parent));
        while (depth > 0) {
            BerFrame& frame = frames[depth - 1];
            RETURN_IF_FAILED(ber_.SkipEmpty(frame, tag::kOctetString));
            ASSIGN_OR_RETURN(const bool more, ber_.HasMore(frame));
            if (!more) {
                --depth;
                continue;
            }
            ASSIGN_OR_RETURN(const BerHeader chunk, ber_.Next(frame));
            if (chunk.tag == tag::kOctetString) {
                RETURN_IF_FAILED(ReadContentOctets(chunk, take));
                continue;
            }
            if (chunk.tag != tag::kConstructedOctetString || depth == frames.size()) {
                return Malformed();
            }
            NoteLengthForm(chunk);
            ASSIGN_OR_RETURN(frames[depth], ber_.Enter(chunk, frame));
            ++depth;
        }
        return FlushStaged();
    }

    // Small chunks (streaming writers make them of a few KiB) are gathered before they go to
    // the cipher, whose every call has a cost of its own.
    Status Stage(std::span<const std::uint8_t> piece) {
        if (staged_.empty() && piece.size() >= kStagedBytes) {
            return decryptor_->Take(piece);
        }
        if (staged_.size() + piece.size() > kStagedBytes) {
            RETURN_IF_FAILED(FlushStaged());
            if (piece.size() >= kStagedBytes) {
                return decryptor_->Take(piece);
            }
        }
        staged_.insert(staged_.end(), piece.begin(), piece.end());
        return {};
    }

    Status FlushStaged() {
        if (staged_.empty() || !decryptor_) {
            return {};
        }
        Status taken = decryptor_->Take(staged_);
        staged_.clear();
        return taken;
    }

    // A primitive piece of the encrypted content: to the decryptor, or passed over when there
    // is none.
    template <class Take>
    Status ReadContentOctets(const BerHeader& piece, Take& take) {
        if (decryptor_) {
            return ber_.StreamContent(piece, &take);
        }
        outline_.encryptedBytes += piece.length;
        return ber_.StreamContent(piece, static_cast<Take*>(nullptr));
    }

    // MessageAuthenticationCode ::= OCTET STRING, of at most 16 bytes, primitive or in chunks.
    Result<std::vector<std::uint8_t>> ReadMac(BerFrame& fields) {
        constexpr std::size_t kLargestMac = 16;
        ASSIGN_OR_RETURN(const BerHeader mac, ber_.Next(fields));
        if (mac.tag == tag::kOctetString) {
            return ber_.ReadSmall(mac, kLargestMac);
        }
        if (mac.tag != tag::kConstructedOctetString) {
            return Malformed();
        }
        NoteLengthForm(mac);
        // Sixteen octets in chunks of one, each with its header, stay far below this.
        constexpr std::size_t kLargestChunkedMac = 1024;
        ASSIGN_OR_RETURN(const std::span<const std::uint8_t> chunks,
                         ber_.HoldContent(mac, fields, kLargestChunkedMac));
        return JoinedChunks(chunks, kLargestMac);
    }

    Result<std::vector<std::uint8_t>> SmallOid(BerFrame& frame) {
        ASSIGN_OR_RETURN(const BerHeader oid, ber_.Expect(frame, tag::kObjectIdentifier));
        return ber_.ReadSmall(oid, 128);
    }

    Result<BerFrame> EnterNext(BerFrame& parent, std::uint8_t tag) {
        ASSIGN_OR_RETURN(const BerHeader header, ber_.Expect(parent, tag));
        NoteLengthForm(header);
        return ber_.Enter(header, parent);
    }

    // Passes over the next element when it is there with the tag.
    Status SkipIfThere(BerFrame& parent, std::uint8_t tag) {
        ASSIGN_OR_RETURN(const std::optional<BerHeader> header, ber_.NextIf(parent, tag));
        if (!header) {
            return {};
        }
        NoteLengthForm(*header);
        return ber_.Skip(*header, parent);
    }

    // Whether the message is BER rather than DER, for `info`.
    void NoteLengthForm(const BerHeader& header) {
        outline_.indefiniteLengths = outline_.indefiniteLengths || header.indefinite;
    }

    BerStream& ber_;
    ContentOpener* opener_;
    MessageOutline outline_;
    std::unique_ptr<ContentDecryptor> decryptor_;
    std::size_t tagBytes_ = 0;
    std::vector<std::uint8_t> tag_;
    std::vector<std::uint8_t> authenticatedAttributes_;  // with the SET OF header
    std::vector<std::uint8_t> staged_;                   // cipher text only
    std::size_t listedBytes_ = 0;
    bool listFull_ = false;
};

// The first bytes of a stream, to recognise its form; a pipe may give them in several reads.
Result<std::vector<std::uint8_t>> ReadHead(ByteStream& input) {
    std::vector<std::uint8_t> head(kHeadBytes);
    std::size_t filled = 0;
    while (filled < head.size()) {
        ASSIGN_OR_RETURN(const std::size_t got, input.Read(std::span(head).subspan(filled)));
        if (got == 0) {
            break;
        }
        filled += got;
    }
    head.resize(filled);
    return head;
}

}  // namespace

Result<MessageOutline> ReadMessage(ByteStream& input, ByteSource* source, ContentOpener* opener) {
    ASSIGN_OR_RETURN(std::vector<std::uint8_t> head, ReadHead(input));
    ASSIGN_OR_RETURN(const ArmourKind armour, RecogniseArmour(head));
    if (armour.form == MessageForm::Binary) {
        if (source != nullptr) {
            // A source is read again from its start, so that its content can be skipped.
            SourceStream again(*source);
            BerStream ber(again, &again, source->Size());
            return EnvelopeParser(ber, opener).Read(MessageForm::Binary);
        }
        ReplayStream replay(std::move(head), 0, input);
        BerStream ber(replay, nullptr, std::nullopt);
        return EnvelopeParser(ber, opener).Read(MessageForm::Binary);
    }
    ReplayStream replay(std::move(head), armour.bodyStart, input);
    Base64Stream decoded(replay);
    BerStream ber(decoded, nullptr, std::nullopt);
    return EnvelopeParser(ber, opener).Read(armour.form);
}

Result<MessageOutline> ReadOutline(ByteSource& message) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    SourceStream input(message);
    return ReadMessage(input, &message, nullptr);
}

}  // namespace mirebolt::platform
