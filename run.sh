#!/usr/bin/env bash
# Sets up (packages, build) and runs the station. Extra arguments go to halvane.
set -euo pipefail
cd "$(dirname "$0")"
scripts/bootstrap build
exec scripts/demo "$@"
