#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks that a desktop finds everything: both
# programs, the menu entry, the AppStream description and the icons.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
status=0
for file in bin/mirebolt bin/mirebolt-cli \
    share/applications/example.quorvane.Mirebolt.desktop \
    share/metainfo/example.quorvane.Mirebolt.metainfo.xml \
    share/icons/hicolor/48x48/apps/example.quorvane.Mirebolt.png \
    share/icons/hicolor/scalable/apps/example.quorvane.Mirebolt.svg; do
  [ -e "$prefix/$file" ] || { echo "missing: $file"; status=1; }
done
grep -q '^Icon=example.quorvane.Mirebolt$' "$prefix/share/applications/example.quorvane.Mirebolt.desktop" || { echo "desktop file names another icon"; status=1; }
grep -q '<release version="1.3.0"' "$prefix/share/metainfo/example.quorvane.Mirebolt.metainfo.xml" || { echo "metainfo lacks version 1.3.0"; status=1; }
grep -q '<p>Certificate based file encryption tool</p>' "$prefix/share/metainfo/example.quorvane.Mirebolt.metainfo.xml" || { echo "metainfo lacks the description"; status=1; }
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$prefix/share/applications/example.quorvane.Mirebolt.desktop" || status=1
fi
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
