#include "cli/usage.h"

#include <cstdio>

#include "cli/commands.h"

namespace mirebolt::cli {

namespace {

constexpr char kUsage[] =
    "Usage: mirebolt-cli [OPTIONS] COMMAND [ARGUMENTS]\n"
    "Encrypts files for the holders of X.509 certificates as PKCS #7 enveloped data, and\n"
    "decrypts them with a private key of your personal certificate store.\n"
    "\n"
    "Commands:\n"
    "  encrypt [-o OUTPUT] [--pem] [--gcm | --triple-des] [--allow-invalid]\n"
    "          [--check-revocation] [-r CERTFILE]... [-R NAME]... FILE...\n"
    "                                                write FILE.enc, or OUTPUT\n"
    "  decrypt [-o OUTPUT] FILE...                   write FILE without .enc or .p7m, or OUTPUT\n"
    "  certs [--json] FILE                           list a file's certificates\n"
    "  store [--json]                                list the personal store\n"
    "  import FILE                                   put your certificate and key (PKCS #12),\n"
    "                                                or others' certificates, into the store\n"
    "  export [-R NAME] [--der] [-o OUTPUT]          write your own certificate for others\n"
    "  info [--json] FILE                            describe an encrypted file\n"
    "  lookup [--json] [--directory=URL] ADDRESS     list the directory's certificates for\n"
    "                                                ADDRESS\n"
    "\n"
    "Options:\n"
    "  --store=DIR           use the NSS database in DIR (default: ~/.pki/nssdb)\n"
    "  --yes                 answer Yes when asked whether to overwrite a file\n"
    "  --password-file=FILE  take the store's password or PIN from FILE's first line\n"
    "  -q, --quiet           do not print the success text\n"
    "  -h, --help            show this help; COMMAND --help shows the command's\n"
    "  --version             show the version\n"
    "\n"
    "Examples:\n"
    "  mirebolt-cli import my-certificate.p12\n"
    "  mirebolt-cli encrypt -r bob.pem report.pdf\n"
    "  mirebolt-cli decrypt report.pdf.enc\n"
    "\n"
    "Exit status: 0 on success, 1 on any failure or refusal, 2 on bad usage.\n";

constexpr char kEncryptUsage[] =
    "Usage: mirebolt-cli encrypt [OPTIONS] FILE...\n"
    "Encrypts each FILE into FILE.enc for every recipient listed. FILE - reads\n"
    "standard input and writes standard output, unless -o names the output; -o - writes\n"
    "standard output. Messages then go to standard error. A binary message is not written\n"
    "onto a terminal unless -o - asks for it; --pem writes text.\n"
    "\n"
    "  -r, --recipient=CERTFILE     every certificate CERTFILE holds (DER, PEM, PKCS #7 bundle)\n"
    "  -R, --store-recipient=NAME   the personal store's certificate with that nickname,\n"
    "                               e-mail address, SHA-256 fingerprint or the heading\n"
    "                               `store` shows; several of that name are listed, not taken\n"
    "  -o, --output=OUTPUT          write OUTPUT instead of FILE.enc (- for standard output;\n"
    "                               a device or named pipe is written straight)\n"
    "  --pem                        write a PEM block (-----BEGIN CMS-----) instead of DER\n"
    "  --gcm                        use AES-256-GCM (authenticated enveloped data): any change\n"
    "                               of the message is found on decryption\n"
    "  --triple-des                 use Triple DES instead of AES-256, for readers that know\n"
    "                               nothing newer\n"
    "  --allow-invalid              encrypt also for an expired, not yet valid, revoked,\n"
    "                               signing-only or certificate authority's certificate\n"
    "  --check-revocation           ask each certificate's OCSP responder whether it was\n"
    "                               revoked (a network request; CRLs in the store always count)\n"
    "\n"
    "  --directory=URL              where -R looks for a NAME the store does not know:\n"
    "                               ldap://HOST[:PORT]/BASE-DN or ldaps://... (default:\n"
    "                               $MIREBOLT_DIRECTORY); see lookup --help\n"
    "\n"
    "Every certificate is checked before use: an unfit one is refused with its reason, one\n"
    "without a path to a root the personal store trusts for e-mail is only warned about. Of\n"
    "a directory's certificates for one address the usable ones are taken, each named; they\n"
    "are not put into the store.\n"
    "\n"
    "Examples:\n"
    "  mirebolt-cli encrypt -r bob.pem -r carol.pem minutes.odt    writes minutes.odt.enc\n"
    "  mirebolt-cli encrypt -R bob@example.org -o /tmp/x.enc notes.txt\n"
    "  mirebolt-cli encrypt -rbob.pem --output=notes.p7m notes.txt\n"
    "  tar cz photos | mirebolt-cli encrypt -r bob.pem - > photos.tgz.enc\n"
    "  mirebolt-cli encrypt --pem -r bob.pem -o - notes.txt      a PEM block for e-mail\n"
    "\n"
    "Files larger than the window takes (100 MB) and pipes are encrypted in pieces, in little\n"
    "memory: a file as DER, a pipe as BER. Written to standard output, a failure leaves the\n"
    "output incomplete (exit status 1): standard output cannot be taken back.\n";

constexpr char kDecryptUsage[] =
    "Usage: mirebolt-cli decrypt [-o OUTPUT] FILE...\n"
    "Decrypts each FILE with a private key of the personal store into FILE without its .enc\n"
    "or .p7m ending, or into OUTPUT (needed when FILE ends in neither). FILE - reads standard\n"
    "input and writes standard output; -o - writes standard output, and messages then go to\n"
    "standard error.\n"
    "\n"
    "  -o, --output=OUTPUT   write OUTPUT instead (- for standard output)\n"
    "\n"
    "Examples:\n"
    "  mirebolt-cli decrypt minutes.odt.enc                  writes minutes.odt\n"
    "  mirebolt-cli decrypt -o minutes.odt smime.p7m\n"
    "  mirebolt-cli --password-file=pin.txt decrypt minutes.odt.enc\n"
    "  mirebolt-cli decrypt -o - photos.tgz.enc | tar tz\n"
    "\n"
    "Messages larger than the window takes (100 MB) and pipes are decrypted in pieces, in\n"
    "little memory. A file is written beside its name and put in place only when the whole\n"
    "message was read and checked, so a failed or interrupted run leaves no partial file.\n"
    "Standard output cannot be taken back: a failure there means the output is incomplete\n"
    "(exit status 1).\n";

constexpr char kCertsUsage[] =
    "Usage: mirebolt-cli certs [--json] FILE\n"
    "Lists every certificate FILE holds: subject, issuer, expiry, status as a recipient (checked\n"
    "against the personal store's trusted roots and CRLs), serial number and SHA-256\n"
    "fingerprint. --check-revocation asks each certificate's OCSP responder too.\n"
    "\n"
    "  --json   write one JSON document instead (mirebolt-cli(1) names its fields)\n"
    "\n"
    "Example:\n"
    "  mirebolt-cli certs colleagues.p7b\n";

constexpr char kStoreUsage[] =
    "Usage: mirebolt-cli store [--json]\n"
    "Lists the personal store's certificates, your own (with a private key) first, each with\n"
    "its status as a recipient. --check-revocation asks each one's OCSP responder too.\n"
    "\n"
    "  --json   write one JSON document instead (mirebolt-cli(1) names its fields)\n"
    "\n"
    "Examples:\n"
    "  mirebolt-cli store\n"
    "  mirebolt-cli --store=/media/card/nssdb store\n";

constexpr char kImportUsage[] =
    "Usage: mirebolt-cli import [--p12-password-file=FILE] FILE\n"
    "Puts the certificate and private key of a PKCS #12 file (.p12, .pfx) into the personal\n"
    "store, asking for the file's password. A certificate file instead (DER, PEM, a PKCS #7\n"
    "bundle) adds those other people's certificates, for encrypting to them with -R. When the\n"
    "store does not exist yet it is created, protected by a password you choose (empty:\n"
    "none), once the file was read and its password accepted. The only command that writes\n"
    "the store. --password-file answers for the store's password.\n"
    "\n"
    "  --p12-password-file=FILE   take the PKCS #12 file's password from FILE's first line\n"
    "\n"
    "A PKCS #12 file that asks for more than 10,000,000 password iterations is refused.\n"
    "\n"
    "Examples:\n"
    "  mirebolt-cli import alice.p12\n"
    "  mirebolt-cli import bob.pem                       then: encrypt -R 'Bob Baker' ...\n"
    "  mirebolt-cli --store=/media/card/nssdb import alice.pfx\n"
    "  mirebolt-cli --password-file=store.pw import --p12-password-file=p12.pw alice.p12\n";

constexpr char kExportUsage[] =
    "Usage: mirebolt-cli export [-R NAME] [--der] [-o OUTPUT]\n"
    "Writes your own certificate (one whose private key the personal store holds) for others\n"
    "to encrypt to: PEM to standard output unless told otherwise. With several of your own,\n"
    "-R names the one (as for encrypt); without it they are listed with their fingerprints.\n"
    "\n"
    "  -R, --store-recipient=NAME   your certificate with that nickname, e-mail address,\n"
    "                               SHA-256 fingerprint or heading\n"
    "  -o, --output=OUTPUT          write OUTPUT instead of standard output\n"
    "  --der                        write DER instead of PEM\n"
    "\n"
    "Examples:\n"
    "  mirebolt-cli export -o alice.pem\n"
    "  mirebolt-cli export --der -R alice@example.org -o alice.cer\n";

constexpr char kInfoUsage[] =
    "Usage: mirebolt-cli info [--json] FILE\n"
    "Describes an encrypted file without decrypting it or asking for a password: its form,\n"
    "type, content cipher, the size of its content, and every recipient entry with the\n"
    "matching certificate of the personal store, if any, with its status.\n"
    "\n"
    "  --json   write one JSON document instead (mirebolt-cli(1) names its fields)\n";

constexpr char kLookupUsage[] =
    "Usage: mirebolt-cli lookup [--json] [--directory=URL] ADDRESS\n"
    "Lists the certificates an LDAP directory holds for ADDRESS (entries whose mail,\n"
    "userPrincipalName or cn is ADDRESS; their userCertificate and userSMIMECertificate), as\n"
    "certs lists a file's. Nothing is stored. encrypt -R takes the same options.\n"
    "\n"
    "  --directory=URL            ldap://HOST[:PORT]/BASE-DN or ldaps://HOST[:PORT]/BASE-DN\n"
    "                             (default: the environment's MIREBOLT_DIRECTORY)\n"
    "  --starttls                 make an ldap:// connection private before anything is sent\n"
    "  --bind-dn=DN               bind as DN (simple bind) instead of searching anonymously\n"
    "  --bind-password-file=FILE  take DN's password from FILE's first line; without it the\n"
    "                             terminal asks\n"
    "  --json                     write one JSON document instead, as certs --json does\n"
    "\n"
    "Each step (connecting, StartTLS, the bind, the search) has 4 seconds: a directory that\n"
    "does not answer is a failure, never a wait. At most 20 entries are taken.\n"
    "\n"
    "Example:\n"
    "  mirebolt-cli lookup --directory=ldap://ldap.example.org/dc=example,dc=org bob@example.org\n";

}  // namespace

const char* UsageOf(const std::string& command) {
    constexpr struct {
        const char* command;
        const char* usage;
    } kCommands[] = {{"encrypt", kEncryptUsage}, {"decrypt", kDecryptUsage}, {"certs", kCertsUsage},
                     {"store", kStoreUsage},     {"import", kImportUsage},   {"info", kInfoUsage},
                     {"export", kExportUsage},   {"lookup", kLookupUsage}};
    for (const auto& each : kCommands) {
        if (command == each.command) {
            return each.usage;
        }
    }
    return kUsage;
}

int BadUsage(const std::string& problem, const std::string& command) {
    std::fprintf(stderr, "%s: %s\nTry '%s%s%s --help' for more information.\n", kProgram,
                 problem.c_str(), kProgram, command.empty() ? "" : " ", command.c_str());
    return kBadUsage;
}

}  // namespace mirebolt::cli
