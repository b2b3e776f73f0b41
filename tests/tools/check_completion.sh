#!/usr/bin/env bash
# Completes mirebolt-cli command lines as bash would at a Tab and checks what is offered:
# commands, each command's options, file names, and for -R the names of the personal store.
#   check_completion.sh COMPLETION PROGRAM FIXTURES
set -uo pipefail
completion=$1 program=$(realpath "$2") fixtures=$(realpath "$3")
export LC_ALL=C
source /usr/share/bash-completion/bash_completion
source "$completion"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.pki" "$work/bin"
cp -r "$fixtures/store-alice" "$work/home/.pki/nssdb"
cp -r "$fixtures/store-carol" "$work/carol"
ln -s "$program" "$work/bin/mirebolt-cli"
export HOME=$work/home PATH=$work/bin:$PATH
mkdir "$work/here"
cd "$work/here" || exit 1
touch letter.txt letter.txt.enc bob.pem alice.p12 notes.odt
mkdir folder

status=0
# Offers for the words of a command line whose last word is being typed.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _mirebolt_cli mirebolt-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() {
  local wanted=$1
  shift
  local got
  got=$(offers "$@")
  if [ "$got" != "$wanted" ]; then
    echo "for \"$*\": expected \"$wanted\", got \"$got\""
    status=1
  fi
}

expect "encrypt " mirebolt-cli enc
expect "certs decrypt encrypt export import info lookup store " mirebolt-cli ""
expect "--bind-dn= --bind-password-file= " mirebolt-cli lookup --bi
expect "--triple-des " mirebolt-cli encrypt --tr
expect "--gcm " mirebolt-cli encrypt --g
expect "--output= " mirebolt-cli decrypt --out
expect "alice.p12 bob.pem folder " mirebolt-cli import ""
expect "--p12-password-file= " mirebolt-cli import --p12
expect "--der " mirebolt-cli export --d
expect "bob.pem folder " mirebolt-cli encrypt -r ""
expect "letter.txt letter.txt.enc " mirebolt-cli --yes encrypt let
expect "folder " mirebolt-cli --store f
expect "--password-file " mirebolt-cli --pass
expect "--allow-invalid " mirebolt-cli encrypt --allow
expect "--check-revocation " mirebolt-cli store --check
expect "Alice Archer Bob Baker Frank Signer alice bob frank " mirebolt-cli encrypt -R ""
expect "Bob Baker " mirebolt-cli export --store-recipient=B
expect "Carol Cooper " mirebolt-cli --store "$work/carol" encrypt -R C

[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
