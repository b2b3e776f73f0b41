#!/usr/bin/env bash
# The newcomer's first minute, as scripts/try describes it: every certificate file it offers
# shows under the certificate filter, and the round trip its hints give works, done here with
# mirebolt-cli on the same files. Prints what is wrong; silence is success.
set -u
source_dir=$1 build_dir=$2 cli=$3
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
status=0
fail() { echo "$*"; status=1; }

BUILD_DIR=$build_dir "$source_dir/scripts/try" --prepare "$home" > "$home/.hints" || fail "prepare failed"
for file in "$home"/certificates/*; do
  case "$file" in
    *.cer | *.crt | *.der | *.pem) ;;
    *) fail "hidden by the certificate filter: ${file#$home/}" ;;
  esac
done
grep -q 'certificates/bob.pem' "$home/.hints" || fail "the hints name no file to add"

cd "$home"
export HOME=$home
# Alice from the store, Bob from his file, then Alice's key opens the message.
"$cli" encrypt -R alice@example.org -r certificates/bob.pem letter.txt > /dev/null || fail "encrypt failed"
cp letter.txt original.txt
"$cli" decrypt --yes letter.txt.enc > /dev/null || fail "decrypt with Alice's key failed"
cmp -s letter.txt original.txt || fail "the round trip changed the letter"
exit $status
