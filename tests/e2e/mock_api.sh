#!/bin/bash
# The API mock answers, records and fails as the other scenarios expect.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exec "$root/tools/sandbox/run-isolated.sh" --no-wine --timeout 120 -- \
  python3 "$root/tests/e2e/mock_api_check.py"
