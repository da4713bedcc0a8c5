#!/usr/bin/env bash
# End-to-end tests against build/updater and the simulators in sim/.
cd "$(dirname "$0")/.."
exec /usr/bin/python3 -m pytest tests/e2e -q -p no:cacheprovider "$@"
