#!/usr/bin/env bash
# Completes mirebolt-cli command lines in a real zsh or fish, with the completion installed as
# the shell finds it, and checks what is offered: commands, options, files, and for -R the names
# of the personal store in HOME or the one --store names.
#   check_shell_completion.sh zsh|fish COMPLETION_DIR PROGRAM FIXTURES
set -uo pipefail
shell=$1 completions=$(cd "$2" && pwd) program=$(realpath "$3") fixtures=$(cd "$4" && pwd)
export LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.pki" "$work/bin" "$work/here/folder"
cp -r "$fixtures/store-alice" "$work/home/.pki/nssdb"
cp -r "$fixtures/store-carol" "$work/carol"
ln -s "$program" "$work/bin/mirebolt-cli"
export HOME=$work/home PATH=$work/bin:$PATH
cd "$work/here" || exit 1
touch letter.txt letter.txt.enc bob.pem alice.p12

# What the shell offers at a Tab after the line, sorted, one to a line.
offers_zsh() {
  local capture=$work/offered
  : > "$capture"
  # zsh completes only in its line editor: an interactive zsh on a pseudo-terminal is given
  # the line and a Tab, records every match its completion functions add, and then ends.
  timeout 30 zsh -f -c '
    zmodload zsh/zpty || exit 2
    zpty shell zsh -f -i
    zpty -w shell "PS1= fpath=(${(q)1} \$fpath); autoload -Uz compinit; compinit -u -D
      bindkey \"^I\" complete-word
      compadd() {
        if [[ \${@[1,(i)(-|--)]} != *-(O|A|D)\\ * ]]; then
          local -a hits
          builtin compadd -A hits \"\$@\"
          print -rl -- \$hits >> ${(q)2}
        fi
        builtin compadd \"\$@\"
      }
      comppostfuncs=(exit)"
    zpty -w -n shell "$3"
    while zpty -r shell chunk; do :; done' zsh "$completions" "$capture" "$1"$'\t'
  sort -u "$capture"
}
offers_fish() {
  # What fish would offer, without the descriptions; anything written to standard error shows.
  timeout 30 fish --no-config -c 'set fish_complete_path $argv[1] $fish_complete_path
    complete -C $argv[2]' "$completions" "$1" 2>&1 | cut -f1 | sort -u
}

status=0
expect() {
  local line=$1 wanted=$2 got
  got=$("offers_$shell" "$line" | paste -sd '|')
  if [ "$got" != "$wanted" ]; then
    echo "$shell, for \"$line\": expected \"$wanted\", got \"$got\""
    status=1
  fi
}
# zsh shows a name as it is to be typed, fish as it is: fish quotes it when it inserts it.
if [ "$shell" = zsh ]; then space='\ '; else space=' '; fi

expect "mirebolt-cli " "certs|decrypt|encrypt|export|import|info|lookup|store"
expect "mirebolt-cli encrypt --dir" "--directory"
expect "mirebolt-cli --yes encrypt --g" "--gcm"
expect "mirebolt-cli store --j" "--json"
expect "mirebolt-cli decrypt let" "letter.txt|letter.txt.enc"
expect "mirebolt-cli encrypt -R " "Alice${space}Archer|Bob${space}Baker|Frank${space}Signer|alice|bob|frank"
expect "mirebolt-cli encrypt --store $work/carol -R " "Carol${space}Cooper|carol"
expect "mirebolt-cli --store=$work/here/letter.txt export -R " ""

[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
