#!/usr/bin/env bash
# tools/functions-doc.sh: writes docs/functions.md, the reference of mtrx's
# built-in functions, from the registry of a built mtrx.
# Usage: tools/functions-doc.sh [BUILD_DIR]   (default build/rel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/rel}
"$build/src/mtrx/mtrx" --functions > "$root/docs/functions.md.new"
mv "$root/docs/functions.md.new" "$root/docs/functions.md"
