#!/usr/bin/python3
"""Reads an enveloped-data message with asn1crypto, a parser independent of the program's own,
and prints what the tests check, one `key=value` a line."""
import subprocess
import sys
import tempfile

from asn1crypto import algos, cms, keys


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


CURVES = {"P-256": "secp256r1", "P-384": "secp384r1", "P-521": "secp521r1"}


def curve_of(point):
    """The curve, of those we write to, that openssl finds the point on; "none" if none."""
    for name, named_curve in CURVES.items():
        info = keys.PublicKeyInfo({
            "algorithm": {"algorithm": "ec", "parameters": ("named", named_curve)},
            "public_key": point,
        })
        with tempfile.NamedTemporaryFile(suffix=".der") as key:
            key.write(info.dump())
            key.flush()
            check = subprocess.run(["openssl", "pkey", "-pubin", "-inform", "DER", "-in",
                                    key.name, "-pubcheck", "-noout"], capture_output=True)
        if check.returncode == 0:
            return name
    return "none"


def oaep_text(parameters):
    native = parameters.native
    return "oaep:%s/%s/%s" % (native["hash_algorithm"]["algorithm"],
                              native["mask_gen_algorithm"]["parameters"]["algorithm"],
                              native["p_source_algorithm"]["parameters"].hex() or "nolabel")


def main(path):
    data = open(path, "rb").read()
    info = cms.ContentInfo.load(data, strict=True)
    print("outer=" + info["content_type"].dotted)
    enveloped = info["content"]
    print("version=%s" % enveloped["version"].native)
    print("originator=%s" % ("absent" if enveloped["originator_info"].native is None else "present"))
    serials, versions, kinds, algorithms = [], [], [], []
    parameters, originator_algorithms, originator_curves, originator_keys = [], [], [], []
    for recipient in enveloped["recipient_infos"]:
        print("recipient_kind=" + recipient.name)
        info = recipient.chosen
        versions.append(str(info["version"].native))
        algorithm = info["key_encryption_algorithm"]
        algorithms.append(algorithm["algorithm"].dotted)
        if recipient.name == "kari":
            encrypted_keys = info["recipient_encrypted_keys"]
            rid = encrypted_keys[0]["rid"]
            # The KDF scheme's parameters name the key wrap, with no parameters of its own.
            wrap = cms.KeyEncryptionAlgorithm.load(algorithm["parameters"].dump())
            parameters.append("wrap:%s:%s" % (wrap["algorithm"].dotted,
                                              "absent" if wrap["parameters"].native is None
                                              else "present"))
            originator = info["originator"]
            key = originator.chosen
            point = bytes(key["public_key"].contents[1:])
            originator_algorithms.append("%s:%s" % (originator.name, key["algorithm"]["algorithm"].dotted))
            originator_curves.append(curve_of(point))
            originator_keys.append(point.hex())
            if info["ukm"].native is not None or len(encrypted_keys) != 1:
                parameters[-1] += ":unexpected"
        else:
            rid = info["rid"]
            if algorithm["algorithm"].native == "rsaes_oaep":
                parameters.append(oaep_text(algorithm["parameters"]))
            else:
                parameters.append("null" if algorithm["parameters"].dump() == b"\x05\x00"
                                  else "other")
        kinds.append(rid.name)
        serials.append("%X" % rid.chosen["serial_number"].native)
    print("recipient_kinds=" + ",".join(r.name for r in enveloped["recipient_infos"]))
    print("recipient_versions=" + ",".join(versions))
    print("recipient_ids=" + ",".join(kinds))
    print("recipient_serials=" + ",".join(serials))
    print("key_algorithms=" + ",".join(algorithms))
    print("key_parameters=" + ",".join(parameters))
    print("originator_algorithms=" + ",".join(originator_algorithms))
    print("originator_curves=" + ",".join(originator_curves))
    print("originator_keys=" + ",".join(originator_keys))
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
