#!/usr/bin/env bash
# tools/ensure-deps.sh: makes sure the build tools are present.
#
# Usage: tools/ensure-deps.sh [extra Debian packages...]
# Always needs cmake, g++ and GoogleTest; the arguments name further
# packages (libbenchmark-dev, libeigen3-dev, ...). Missing ones are installed
# with apt-get when it is available and we are root; otherwise the script
# names what is missing and fails.
set -euo pipefail

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
if [ ! -f /usr/include/gtest/gtest.h ] && [ ! -f /usr/local/include/gtest/gtest.h ]; then
  missing+=(libgtest-dev)
fi
for pkg in "$@"; do
  case "$pkg" in
    libbenchmark-dev) [ -f /usr/include/benchmark/benchmark.h ] || missing+=("$pkg") ;;
    libeigen3-dev) [ -d /usr/include/eigen3 ] || missing+=("$pkg") ;;
    *) dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg") ;;
  esac
done

[ ${#missing[@]} -eq 0 ] && exit 0

if command -v apt-get >/dev/null 2>&1 && [ "$(id -u)" -eq 0 ]; then
  echo "installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >&2
  apt-get install -y -qq "${missing[@]}" >&2
else
  echo "missing: ${missing[*]} (install them, e.g. apt-get install ${missing[*]})" >&2
  exit 1
fi
