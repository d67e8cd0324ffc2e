#!/usr/bin/env bash
# Sets up (packages, build) and runs the whole test suite.
#   ./test.sh            every test but the long soak
#   ./test.sh --soak     the soak test as well
#   ./test.sh -L unit    only one label (any ctest arguments pass through)
set -euo pipefail
cd "$(dirname "$0")"
scripts/bootstrap build
args=(-LE soak)
if [ "${1:-}" = "--soak" ]; then args=(); shift; fi
cd build
exec ctest --output-on-failure --timeout 600 -j2 "${args[@]}" "$@"
