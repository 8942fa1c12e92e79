#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, when missing.
set -euo pipefail
pkgs=(build-essential cmake pkg-config g++ libssl-dev libsecp256k1-dev libcrypto++-dev
      nlohmann-json3-dev libicu-dev libgtest-dev libgmock-dev libbenchmark-dev python3 valgrind
      clang libclang-rt-14-dev)
if [ "${QUORENT_EXTRA_PKGS:-}" != "" ]; then pkgs+=(${QUORENT_EXTRA_PKGS}); fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
