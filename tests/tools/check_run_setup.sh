#!/usr/bin/env bash
# The main job's set-up installs what building and running need and none of the tests' tool
# chain; the tests' set-up holds all of it.
set -euo pipefail
script=$1/scripts/install-dependencies
run=$("$script" run --list)
test=$("$script" --list)
status=0
for tool in libgtest-dev clang libfuzzer-14-dev xvfb openbox xdotool softhsm2 lintian devscripts \
    python3-asn1crypto gpgsm slapd ldap-utils; do
  if grep -qx "$tool" <<< "$run"; then echo "the run set-up installs $tool"; status=1; fi
  grep -qx "$tool" <<< "$test" || { echo "the test set-up lacks $tool"; status=1; }
done
for package in $run; do
  grep -qx "$package" <<< "$test" || { echo "the test set-up lacks $package"; status=1; }
done
# What the programs are built from is in the run set-up.
for package in cmake g++ pkg-config libnss3-dev qt6-base-dev libldap-dev; do
  grep -qx "$package" <<< "$run" || { echo "the run set-up lacks $package"; status=1; }
done
exit $status
