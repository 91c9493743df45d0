#!/usr/bin/env bash
# Installs what is missing, builds Loftmark and starts it from its program folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec build/bin/loftmark
