#!/usr/bin/python3
"""Reads an enveloped-data message with asn1crypto, a parser independent of the program's own,
and prints what the tests check, one `key=value` a line."""
import sys

from asn1crypto import cms


def encode_in_given_order(self, force=False):
    """The recipients stand in the order the sender listed them, which DER's sorting of a set
    would change; every other part is encoded as DER demands."""
    if self.children is None:
        self._parse_children()
    self._contents = b"".join(child.dump(force=force) for child in self)
    self._header = None
    if self._trailer != b"":
        self._trailer = b""


cms.RecipientInfos._set_contents = encode_in_given_order


def main(path):
    data = open(path, "rb").read()
    info = cms.ContentInfo.load(data, strict=True)
    print("outer=" + info["content_type"].dotted)
    enveloped = info["content"]
    print("version=%s" % enveloped["version"].native)
    print("originator=%s" % ("absent" if enveloped["originator_info"].native is None else "present"))
    serials, versions, kinds, algorithms = [], [], [], []
    for recipient in enveloped["recipient_infos"]:
        print("recipient_kind=" + recipient.name)
        ktri = recipient.chosen
        versions.append(str(ktri["version"].native))
        kinds.append(ktri["rid"].name)
        algorithms.append(ktri["key_encryption_algorithm"]["algorithm"].dotted)
        serials.append("%X" % ktri["rid"].chosen["serial_number"].native)
    print("recipient_versions=" + ",".join(versions))
    print("recipient_ids=" + ",".join(kinds))
    print("recipient_serials=" + ",".join(serials))
    print("key_algorithms=" + ",".join(algorithms))
    content = enveloped["encrypted_content_info"]
    print("content_type=" + content["content_type"].dotted)
    algorithm = content["content_encryption_algorithm"]
    print("cipher=" + algorithm["algorithm"].dotted)
    print("iv_length=%d" % len(algorithm["parameters"].native))
    print("encrypted_length=%d" % len(content["encrypted_content"].native))
    # Encoding every value again from scratch gives DER: equal bytes mean the message was DER.
    print("der=%s" % ("yes" if cms.ContentInfo.load(data).dump(force=True) == data else "no"))


if __name__ == "__main__":
    main(sys.argv[1])
