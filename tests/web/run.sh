#!/usr/bin/env bash
# The browser tests of nso serve: installs the test driver (playwright-core, from the lock file)
# when it is missing, then runs the tests with node's test runner. ctest runs this with
# NSO_BINARY, KVAD_SOURCE_DIR and WEB_ARTEFACTS (where the screenshots go) set.
set -euo pipefail
cd "$(dirname "$0")"
if [ ! -d node_modules/playwright-core ]; then
    npm ci --no-audit --no-fund --loglevel=error
fi
exec node --test --test-concurrency=1 .
