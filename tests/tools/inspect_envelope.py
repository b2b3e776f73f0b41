#!/usr/bin/python3
"""Reads an enveloped-data message with asn1crypto, a parser independent of the program's own,
and prints what the tests check, one `key=value` a line."""
import subprocess
import sys
import tempfile

from asn1crypto import algos, cms, core, keys


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
    """Facts of each RecipientInfo in the message's order, comma-separated; where one
    key-agreement entry carries several recipients, theirs are joined with "+"."""
    data = open(path, "rb").read()
    info = cms.ContentInfo.load(data, strict=True)
    print("outer=" + info["content_type"].dotted)
    enveloped = info["content"]
    print("version=%s" % enveloped["version"].native)
    print("originator=%s" % ("absent" if enveloped["originator_info"].native is None else "present"))
    serials, versions, kinds, algorithms = [], [], [], []
    parameters, originator_algorithms, originator_curves, originator_keys = [], [], [], []
    ukm_lengths, ukms = [], []
    for recipient in enveloped["recipient_infos"]:
        info = recipient.chosen
        versions.append(str(info["version"].native))
        algorithm = info["key_encryption_algorithm"]
        algorithms.append(algorithm["algorithm"].dotted)
        if recipient.name == "kari":
            rids = [key["rid"] for key in info["recipient_encrypted_keys"]]
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
            ukm = info["ukm"].native
            ukm_lengths.append("absent" if ukm is None else str(len(ukm)))
            ukms.append("" if ukm is None else ukm.hex())
        else:
            rids = [info["rid"]]
            if algorithm["algorithm"].native == "rsaes_oaep":
                parameters.append(oaep_text(algorithm["parameters"]))
            else:
                parameters.append("null" if algorithm["parameters"].dump() == b"\x05\x00"
                                  else "other")
        kinds.append("+".join(rid.name for rid in rids))
        serials.append("+".join("%X" % rid.chosen["serial_number"].native for rid in rids))
    print("recipient_kinds=" + ",".join(r.name for r in enveloped["recipient_infos"]))
    print("recipient_versions=" + ",".join(versions))
    print("recipient_ids=" + ",".join(kinds))
    print("recipient_serials=" + ",".join(serials))
    print("key_algorithms=" + ",".join(algorithms))
    print("key_parameters=" + ",".join(parameters))
    print("originator_algorithms=" + ",".join(originator_algorithms))
    print("originator_curves=" + ",".join(originator_curves))
    print("originator_keys=" + ",".join(originator_keys))
    print("ukm_lengths=" + ",".join(ukm_lengths))
    print("ukms=" + ",".join(ukms))
    authenticated = isinstance(enveloped, cms.AuthEnvelopedData)
    content = enveloped["auth_encrypted_content_info" if authenticated else "encrypted_content_info"]
    print("content_type=" + content["content_type"].dotted)
    algorithm = content["content_encryption_algorithm"]
    print("cipher=" + algorithm["algorithm"].dotted)
    # GCM's parameters are the nonce and the tag's length, CBC's the IV alone.
    parameters = algorithm["parameters"]
    iv = core.load(parameters.dump()).native["0"] if authenticated else parameters.native
    print("iv_length=%d" % len(iv))
    print("encrypted_length=%d" % len(content["encrypted_content"].native))
    # DER orders a SET OF by the encodings of its elements, compared as octet strings.
    entries = [recipient.dump() for recipient in enveloped["recipient_infos"]]
    print("recipient_order=%s" % ("der" if entries == sorted(entries) else "not_der"))
    # Encoding every value again from scratch gives DER, sets sorted: equal bytes mean the
    # message was DER.
    print("der=%s" % ("yes" if cms.ContentInfo.load(data).dump(force=True) == data else "no"))


if __name__ == "__main__":
    main(sys.argv[1])
