#!/usr/bin/python3
"""Opens an enveloped-data message for an RSA recipient without the program's code or NSS:
asn1crypto parses it, python's cryptography unwraps the content key and decrypts the content.
Like a strict DER reader, it refuses a message that is not DER (a SET OF out of order
included). Usage: open_envelope.py MESSAGE CERTIFICATE KEY OUTPUT; exit 0 when OUTPUT holds the
content."""
import sys

from asn1crypto import cms, pem, x509
from cryptography.hazmat.primitives import padding, serialization
from cryptography.hazmat.primitives.asymmetric import padding as rsa_padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

CIPHERS = {
    "2.16.840.1.101.3.4.1.42": algorithms.AES,
    "1.2.840.113549.3.7": algorithms.TripleDES,
}


def fail(text):
    print(text, file=sys.stderr)
    sys.exit(1)


def main(message_path, certificate_path, key_path, output_path):
    data = open(message_path, "rb").read()
    info = cms.ContentInfo.load(data, strict=True)
    if cms.ContentInfo.load(data).dump(force=True) != data:
        fail("not DER: a strict reader refuses the message")
    if info["content_type"].native != "enveloped_data":
        fail("not enveloped data")
    enveloped = info["content"]

    certificate = open(certificate_path, "rb").read()
    if pem.detect(certificate):
        certificate = pem.unarmor(certificate)[2]
    tbs = x509.Certificate.load(certificate)["tbs_certificate"]
    issuer, serial = tbs["issuer"].dump(), tbs["serial_number"].native

    encrypted_key = None
    for recipient in enveloped["recipient_infos"]:
        if recipient.name != "ktri":
            continue
        rid = recipient.chosen["rid"]
        if rid.name == "issuer_and_serial_number" and \
                rid.chosen["issuer"].dump() == issuer and \
                rid.chosen["serial_number"].native == serial:
            if recipient.chosen["key_encryption_algorithm"]["algorithm"].native != "rsaes_pkcs1v15":
                fail("the entry is not RSA PKCS #1 v1.5")
            encrypted_key = recipient.chosen["encrypted_key"].native
    if encrypted_key is None:
        fail("no entry for the certificate")

    key = serialization.load_pem_private_key(open(key_path, "rb").read(), password=None)
    content_key = key.decrypt(encrypted_key, rsa_padding.PKCS1v15())

    content = enveloped["encrypted_content_info"]
    algorithm = content["content_encryption_algorithm"]
    cipher = CIPHERS.get(algorithm["algorithm"].dotted)
    if cipher is None:
        fail("cipher " + algorithm["algorithm"].dotted)
    decryptor = Cipher(cipher(content_key), modes.CBC(algorithm["parameters"].native)).decryptor()
    padded = decryptor.update(content["encrypted_content"].native) + decryptor.finalize()
    unpadder = padding.PKCS7(cipher.block_size).unpadder()
    plain = unpadder.update(padded) + unpadder.finalize()
    open(output_path, "wb").write(plain)


if __name__ == "__main__":
    main(*sys.argv[1:5])
