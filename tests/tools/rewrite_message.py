#!/usr/bin/python3
"""Rewrites one part of a DER enveloped-data message, to make the messages peers may send but
openssl will not write: usage  rewrite_message.py OPERATION IN OUT [ARGUMENT].

  keyid CERT          the first key-transport entry names CERT by the SHA-1 of its public key
  no-content          the encrypted content is left out
  empty-content       the encrypted content is present and empty
  empty-chunks        the encrypted content is an empty constructed string
  inner-type OID      the encrypted content claims to be of type OID
  cipher OID          the content-encryption algorithm is OID
  chunks N            the encrypted content in chunks of N bytes, indefinite lengths
  spoil-first-key     the first key-transport entry's encrypted key has one bit flipped
  empty-chunks-among N  chunks of N bytes with empty chunks before, between and after them,
                      all in a constructed string of definite length
  indefinite-names    every entry's issuer name in indefinite lengths, as streaming writers
                      may give it
"""
import hashlib
import sys

from asn1crypto import x509


def read_length(data, at):
    first = data[at]
    if first < 0x80:
        return first, at + 1
    count = first & 0x7F
    return int.from_bytes(data[at + 1:at + 1 + count], "big"), at + 1 + count


def parse(data, at=0):
    """One DER element as [tag, value], value being bytes or a list of elements."""
    tag = data[at]
    length, start = read_length(data, at + 1)
    content = data[start:start + length]
    if tag & 0x20:
        children, position = [], 0
        while position < len(content):
            child, position = parse(content, position)
            children.append(child)
        return [tag, children], start + length
    return [tag, content], start + length


def header(tag, length):
    if length < 0x80:
        return bytes([tag, length])
    digits = length.to_bytes((length.bit_length() + 7) // 8, "big")
    return bytes([tag, 0x80 | len(digits)]) + digits


def encode(element):
    tag, value = element
    if isinstance(value, list):
        value = b"".join(encode(child) for child in value)
    if isinstance(value, Indefinite):
        return bytes([tag, 0x80]) + value.content + b"\0\0"
    return header(tag, len(value)) + value


class Indefinite:
    def __init__(self, content):
        self.content = content


def indefinite(element):
    """The element with every constructed part in indefinite lengths."""
    tag, value = element
    if isinstance(value, list):
        return [tag, Indefinite(b"".join(encode(indefinite(child)) for child in value))]
    return element


def oid_content(dotted):
    arcs = [int(arc) for arc in dotted.split(".")]
    out = bytearray()
    for arc in [arcs[0] * 40 + arcs[1]] + arcs[2:]:
        groups = [arc & 0x7F]
        arc >>= 7
        while arc:
            groups.append(0x80 | (arc & 0x7F))
            arc >>= 7
        out += bytes(reversed(groups))
    return bytes(out)


def main(operation, source, target, argument=None):
    message, _ = parse(open(source, "rb").read())
    enveloped = message[1][1][1][0][1]
    fields = [field for field in enveloped if field[0] == 0x30]
    content_info = fields[-1][1]
    if operation == "keyid":
        certificate = x509.Certificate.load(open(argument, "rb").read())
        key_bits = certificate["tbs_certificate"]["subject_public_key_info"]["public_key"]
        digest = hashlib.sha1(key_bits.contents[1:]).digest()
        for entry in next(field for field in enveloped if field[0] == 0x31)[1]:
            if entry[0] == 0x30:
                entry[1][0] = [0x02, b"\x02"]
                entry[1][1] = [0x80, digest]
                break
    elif operation == "empty-chunks-among":
        size = int(argument)
        data = content_info[2][1]
        empty = [0x04, b""]
        chunks = [empty] * 1000
        for i in range(0, len(data), size):
            chunks += [[0x04, data[i:i + size]], empty]
        content_info[2] = [0xA0, chunks + [empty] * 999]
    elif operation == "spoil-first-key":
        for entry in next(field for field in enveloped if field[0] == 0x31)[1]:
            if entry[0] == 0x30:
                key = bytearray(entry[1][3][1])
                key[len(key) // 2] ^= 0x01
                entry[1][3][1] = bytes(key)
                break
    elif operation == "widen-last-key":
        # As an RSA key much larger than any of ours would give.
        entries = next(field for field in enveloped if field[0] == 0x31)[1]
        last = [entry for entry in entries if entry[0] == 0x30][-1]
        last[1][3][1] = bytes([0x5A]) * int(argument)
    elif operation == "indefinite-names":
        for entry in next(field for field in enveloped if field[0] == 0x31)[1]:
            if entry[0] == 0x30:  # key transport: its rid
                rids = [entry[1][1]]
            elif entry[0] == 0xA1:  # key agreement: the rid of each encrypted key
                rids = [key[1][0] for key in entry[1][-1][1]]
            else:
                continue
            for rid in rids:
                if rid[0] == 0x30:
                    rid[1][0] = indefinite(rid[1][0])
    elif operation == "no-content":
        del content_info[2:]
    elif operation == "empty-content":
        content_info[2] = [0x80, b""]
    elif operation == "empty-chunks":
        content_info[2] = [0xA0, []]
    elif operation == "inner-type":
        content_info[0] = [0x06, oid_content(argument)]
    elif operation == "cipher":
        content_info[1][1][0] = [0x06, oid_content(argument)]
    elif operation == "chunks":
        size = int(argument)
        data = content_info[2][1]
        pieces = b"".join(encode([0x04, data[i:i + size]]) for i in range(0, len(data), size))
        content_info[2] = [0xA0, Indefinite(pieces)]
    else:
        sys.exit("unknown operation " + operation)
    open(target, "wb").write(encode(message))


if __name__ == "__main__":
    main(*sys.argv[1:])
