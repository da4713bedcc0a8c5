#!/usr/bin/env bash
# End-to-end tests against build/updater and the simulators in sim/. Their temporary
# files go into one directory that is removed afterwards.
cd "$(dirname "$0")/.."
base=$(mktemp -d)
trap 'rm -rf "$base"' EXIT
/usr/bin/python3 -m pytest tests/e2e -q -p no:cacheprovider --basetemp="$base/pytest" "$@"
