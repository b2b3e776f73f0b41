#!/usr/bin/env bash
# Makes the Debian package from a build, checks what it holds and how its programs are hardened,
# and runs lintian over it. With
# --install (CI, as root on a fresh machine) it also installs the package with apt-get, which
# pulls in its dependencies, runs the installed program, and removes the package again.
set -euo pipefail
build=$1
install=${2:-}
# The application id as the build made it from the project's facts.
facts=$build/generated/base/product_facts.h
id=$(sed -n 's/.*kApplicationId\[\] = "\(.*\)";$/\1/p' "$facts")
[ -n "$id" ] || { echo "no application id in $facts"; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$out" > "$out/cpack.log" || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/mirebolt_*.deb)
status=0
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/mirebolt ./usr/bin/mirebolt-cli ./usr/share/man/man1/mirebolt.1.gz \
    ./usr/share/man/man1/mirebolt-cli.1.gz ./usr/share/bash-completion/completions/mirebolt-cli \
    ./usr/share/zsh/vendor-completions/_mirebolt-cli \
    ./usr/share/fish/vendor_completions.d/mirebolt-cli.fish \
    ./usr/share/doc/mirebolt/copyright ./usr/share/doc/mirebolt/changelog.gz \
    ./usr/share/applications/$id.desktop ./usr/share/mime/packages/$id.xml \
    ./usr/share/kio/servicemenus/$id.desktop ./usr/share/nemo/actions/$id.nemo_action \
    ./usr/share/file-manager/actions/$id.desktop; do
  grep -q " $file\$" <<< "$contents" || { echo "the package lacks $file"; status=1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libnss3 libqt6widgets6 libldap-2.5-0; do
  grep -q "$library" <<< "$depends" || { echo "Depends lacks $library: $depends"; status=1; }
done
grep -q libqt6svg6 <<< "$(dpkg-deb -f "$deb" Recommends)" || { echo "Recommends lacks libqt6svg6"; status=1; }
# Both programs as the package holds them carry Debian's hardening. Control-flow protection is
# not asked: Debian 12's C start files lack it, so no program linked there can have it.
dpkg-deb -x "$deb" "$out/root"
for program in mirebolt mirebolt-cli; do
  hardening-check --nocfprotection "$out/root/usr/bin/$program" || status=1
done
if command -v lintian > /dev/null; then
  # Errors fail; warnings are shown for the record.
  lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" || status=1
else
  echo "lintian is not installed"
  status=1
fi

if [ "$install" = "--install" ]; then
  cp "$deb" /tmp/
  local_deb=/tmp/$(basename "$deb")
  DEBIAN_FRONTEND=noninteractive apt-get install -y "$local_deb" > "$out/install.log" || { cat "$out/install.log"; status=1; }
  /usr/bin/mirebolt-cli --version || status=1
  man -w mirebolt-cli > /dev/null || { echo "man does not find mirebolt-cli(1)"; status=1; }
  DEBIAN_FRONTEND=noninteractive apt-get purge -y mirebolt > "$out/remove.log" || { cat "$out/remove.log"; status=1; }
  [ ! -e /usr/bin/mirebolt-cli ] || { echo "mirebolt-cli is left after removal"; status=1; }
  if dpkg -s mirebolt > /dev/null 2>&1; then echo "the package is still installed"; status=1; fi
  rm -f "$local_deb"
fi
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
