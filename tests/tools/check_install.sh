#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks that a desktop finds everything: both
# programs, the menu entry, the AppStream description and the icons, named by the application's
# id and carrying the project's version and description.
set -euo pipefail
build=$1 id=$2 version=$3 description=$4
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
status=0
for file in bin/mirebolt bin/mirebolt-cli \
    share/applications/$id.desktop \
    share/mime/packages/$id.xml \
    share/kio/servicemenus/$id.desktop \
    share/nemo/actions/$id.nemo_action \
    share/file-manager/actions/$id.desktop \
    share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/48x48/apps/$id.png \
    share/icons/hicolor/scalable/apps/$id.svg; do
  [ -e "$prefix/$file" ] || { echo "missing: $file"; status=1; }
done
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || { echo "desktop file names another icon"; status=1; }
grep -qF "<release version=\"$version\"" "$prefix/share/metainfo/$id.metainfo.xml" || { echo "metainfo lacks version $version"; status=1; }
grep -qF "<p>$description</p>" "$prefix/share/metainfo/$id.metainfo.xml" || { echo "metainfo lacks the description"; status=1; }
if grep -l '@[A-Z_]*@' "$prefix/share/applications/$id.desktop" "$prefix/share/metainfo/$id.metainfo.xml" \
    "$prefix/share/mime/packages/$id.xml" "$prefix/share/kio/servicemenus/$id.desktop" \
    "$prefix/share/nemo/actions/$id.nemo_action" "$prefix/share/file-manager/actions/$id.desktop"; then
  echo "a fact was left unfilled"; status=1
fi
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$prefix/share/applications/$id.desktop" || status=1
fi
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
