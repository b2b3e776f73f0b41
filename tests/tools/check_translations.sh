#!/usr/bin/env bash
# Every text of the window has its German translation: lupdate, run over the sources as the
# build's update_translations target runs it, finds no text the shipped .ts lacks, and lrelease
# reports none unfinished. Prints what is missing; silence is success.
#   check_translations.sh SOURCE_DIR LUPDATE LRELEASE
set -euo pipefail
source_dir=$1 lupdate=$2 lrelease=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source_dir/res/translations/mirebolt_de.ts" "$work/"
"$lupdate" -silent -no-obsolete -locations none -I "$source_dir" "$source_dir/ui" -ts "$work/mirebolt_de.ts"
report=$("$lrelease" "$work/mirebolt_de.ts" -qm "$work/mirebolt_de.qm")
if ! grep -q ' 0 unfinished)' <<< "$report"; then
  echo "$report"
  grep -B1 'type="unfinished"' "$work/mirebolt_de.ts" | grep '<source>' || true
  exit 1
fi
