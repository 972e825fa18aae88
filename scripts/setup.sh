#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root).
# Packages already present are skipped, so a second run costs a few seconds.
set -euo pipefail
# clang-14, its runtime libraries and llvm-symbolizer: the sanitizer build and the fuzz targets.
packages=(g++ cmake make qt6-base-dev qt6-svg-dev qt6-multimedia-dev libgtest-dev libbenchmark-dev
          libssl-dev openssl python3 python3-pyftpdlib python3-openssl vsftpd lftp curl passwd
          clang-14 libclang-rt-14-dev llvm-14)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
