#!/usr/bin/env bash
# Makes a personal store with a smart card in it: FOLDER/nssdb is a copy of Alice's store that
# registers a SoftHSM2 token, "Carol Card", holding Carol's key and certificate. The token lives
# in FOLDER/tokens, configured by FOLDER/softhsm2.conf (point SOFTHSM2_CONF there). With
# --missing-library the store also registers a module whose library is not there and one whose
# library is no library at all. With --certificate-in-database the database also holds Carol's
# certificate, as when the holder once imported it from a message or a directory. With --ec-key
# the card also holds Erin's P-256 key and certificate under id 02, the key allowed to derive
# as a card's key for decryption is.
# Usage: make-token-store.sh FOLDER FIXTURES
#          [--missing-library | --certificate-in-database | --ec-key]
set -euo pipefail

folder=$1
fixtures=$2
module=/usr/lib/softhsm/libsofthsm2.so
pin=carol-pin

mkdir -p "$folder/tokens"
cat > "$folder/softhsm2.conf" <<CONF
directories.tokendir = $folder/tokens
objectstore.backend = file
log.level = ERROR
CONF
export SOFTHSM2_CONF=$folder/softhsm2.conf

softhsm2-util --init-token --free --label "Carol Card" --pin "$pin" --so-pin carol-so-pin \
  > /dev/null
# The key goes onto the card as its holder's card tool puts it there: the private key, a private
# object seen only after login, and the certificate under the same id, with no public key object
# beside them.
openssl pkcs8 -topk8 -nocrypt -in "$fixtures/carol.key" -outform DER -out "$folder/carol.p8"
write() {
  pkcs11-tool --module "$module" --token-label "Carol Card" --login --pin "$pin" \
    --write-object "$1" --type "$2" --id "${3:-01}" --label "${4:-carol}" ${5:-} > /dev/null 2>&1
}
write "$folder/carol.p8" privkey
write "$fixtures/carol.der" cert
rm "$folder/carol.p8"
if [ "${3:-}" = "--ec-key" ]; then
  openssl pkcs8 -topk8 -nocrypt -in "$fixtures/erin.key" -outform DER -out "$folder/erin.p8"
  write "$folder/erin.p8" privkey 02 erin --usage-derive
  write "$fixtures/erin.der" cert 02 erin
  rm "$folder/erin.p8"
fi

cp -r "$fixtures/store-alice" "$folder/nssdb"
modutil -add "Carol Card reader" -libfile "$module" -dbdir "sql:$folder/nssdb" -force > /dev/null
if [ "${3:-}" = "--missing-library" ]; then
  # modutil refuses a library it cannot load, so the entry is written as another program
  # (or a package since removed) would have left it.
  mkdir -p "$folder/broken"
  printf 'not a shared object\n' > "$folder/broken/libreader.so"
  printf '\nlibrary=%s\nname=%s\n' "$folder/gone/libreader.so" "Gone Reader" \
    "$folder/broken/libreader.so" "Broken Reader" >> "$folder/nssdb/pkcs11.txt"
fi
if [ "${3:-}" = "--certificate-in-database" ]; then
  certutil -A -d "sql:$folder/nssdb" -n carol-copy -t ",," -i "$fixtures/carol.pem"
fi
