#include "cms/message_reader.h"

#include <secerr.h>

#include <array>

#include "asn1/asn1_tags.h"
#include "asn1/ber_reader.h"
#include "asn1/malformed.h"
#include "base/replay_stream.h"
#include "cms/open_failures.h"
#include "nss/error_text.h"
#include "nss/nss_runtime.h"

namespace mirebolt::platform {

namespace {

constexpr std::size_t kLargestEntry = 64 * 1024;
constexpr std::size_t kLargestEntries = 4 << 20;
constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr int kMaxChunkDepth = 16;
constexpr std::size_t kStagedBytes = 256 * 1024;

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
    if (!sequence || sequence->tag != tag::kSequence) {
        return Malformed();
    }
    BerChildren fields = reader.ChildrenOf(*sequence, ber.size());
    Result<std::vector<std::uint8_t>> oidBytes =
        reader.ExpectSmallChild(fields, tag::kObjectIdentifier);
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
        if ((*parameters)->tag != tag::kOctetString) {
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
    if ((*parameters)->tag != tag::kSequence) {
        return Malformed();
    }
    BerChildren gcm = reader.ChildrenOf(**parameters, ber.size());
    Result<std::vector<std::uint8_t>> nonceBytes = reader.ExpectSmallChild(gcm, tag::kOctetString);
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
        if ((*length)->tag != tag::kInteger || !value || value->size() != 1 || (*value)[0] < 12 ||
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
        Result<BerHeader> contentInfo = ber_.Expect(top, tag::kSequence);
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
        Result<BerFrame> wrapper = EnterNext(*info, tag::kContextConstructed0);
        if (!wrapper) {
            return wrapper.failure();
        }
        Result<BerFrame> enveloped = EnterNext(*wrapper, tag::kSequence);
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
        if (Status skipped = SkipNext(fields, tag::kInteger); !skipped) {
            return skipped;
        }
        if (Status originator = SkipIfThere(fields, tag::kContextConstructed0); !originator) {
            return originator;
        }
        if (Status recipients = ReadRecipients(fields); !recipients) {
            return recipients;
        }
        if (Status content = ReadEncryptedContentInfo(fields); !content) {
            return content;
        }
        if (outline_.authenticated) {
            Result<std::optional<BerHeader>> attributes =
                ber_.NextIf(fields, tag::kContextConstructed1);
            if (!attributes) {
                return attributes.failure();
            }
            if (attributes->has_value()) {
                return UnsupportedMessageFeature("carries authenticated attributes");
            }
            Result<BerHeader> mac = ber_.Expect(fields, tag::kOctetString);
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
        const std::uint8_t trailing =
            outline_.authenticated ? tag::kContextConstructed2 : tag::kContextConstructed1;
        if (Status attributes = SkipIfThere(fields, trailing); !attributes) {
            return attributes;
        }
        return ber_.Close(fields);
    }

    Status ReadRecipients(BerFrame& fields) {
        Result<BerFrame> infos = EnterNext(fields, tag::kSet);
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
        Result<BerFrame> info = EnterNext(fields, tag::kSequence);
        if (!info) {
            return info.failure();
        }
        Result<std::vector<std::uint8_t>> type = SmallOid(*info);
        if (!type) {
            return type.failure();
        }
        Result<BerHeader> algorithm = ber_.Expect(*info, tag::kSequence);
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
        if (content->tag != tag::kContextPrimitive0 && content->tag != tag::kContextConstructed0) {
            return Malformed();
        }
        const bool cbc = outline_.cipher->mode == ContentMode::Cbc;
        if (cbc && content->tag == tag::kContextPrimitive0 && content->length == 0) {
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
            return Stage(piece);
        };
        if (!content.constructed()) {
            if (Status read = Primitive(content, take); !read) {
                return read;
            }
            return FlushStaged();
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
            if (Status skipped = ber_.SkipEmpty(frame, tag::kOctetString); !skipped) {
                return skipped;
            }
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
            if (chunk->tag == tag::kOctetString) {
                if (Status read = Primitive(*chunk, take); !read) {
                    return read;
                }
                continue;
            }
            if (chunk->tag != tag::kConstructedOctetString || depth == frames.size()) {
                return Malformed();
            }
            Note(*chunk);
            Result<BerFrame> inner = ber_.Enter(*chunk, frame);
            if (!inner) {
                return inner.failure();
            }
            frames[depth++] = *inner;
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
            if (Status flushed = FlushStaged(); !flushed) {
                return flushed;
            }
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

    template <class Take>
    Status Primitive(const BerHeader& piece, Take& take) {
        if (decryptor_) {
            return ber_.StreamContent(piece, &take);
        }
        outline_.encryptedBytes += piece.length;
        return ber_.StreamContent(piece, static_cast<Take*>(nullptr));
    }

    Result<std::vector<std::uint8_t>> SmallOid(BerFrame& frame) {
        Result<BerHeader> oid = ber_.Expect(frame, tag::kObjectIdentifier);
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

    // Passes over the next element when it is there with the tag.
    Status SkipIfThere(BerFrame& parent, std::uint8_t tag) {
        Result<std::optional<BerHeader>> header = ber_.NextIf(parent, tag);
        if (!header) {
            return header.failure();
        }
        if (!header->has_value()) {
            return {};
        }
        Note(**header);
        return ber_.Skip(**header, parent);
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
    std::vector<std::uint8_t> staged_;  // cipher text only
};

// The first bytes of a stream, to recognise its form; a pipe may give them in several reads.
Result<std::vector<std::uint8_t>> ReadHead(ByteStream& input) {
    std::vector<std::uint8_t> head(kHeadBytes);
    std::size_t filled = 0;
    while (filled < head.size()) {
        Result<std::size_t> got = input.Read(std::span(head).subspan(filled));
        if (!got) {
            return got.failure();
        }
        if (*got == 0) {
            break;
        }
        filled += *got;
    }
    head.resize(filled);
    return head;
}

}  // namespace

Result<MessageOutline> ReadMessage(ByteStream& input, ByteSource* source, ContentOpener* opener) {
    Result<std::vector<std::uint8_t>> head = ReadHead(input);
    if (!head) {
        return head.failure();
    }
    Result<ArmourKind> armour = RecogniseArmour(*head);
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

Result<MessageOutline> ReadOutline(ByteSource& message) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    SourceStream input(message);
    return ReadMessage(input, &message, nullptr);
}

}  // namespace mirebolt::platform
