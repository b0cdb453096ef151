#!/usr/bin/env bash
# Installs the build and test dependencies from Debian's packages. Safe to run again.
set -euo pipefail
packages=(cmake ninja-build g++ clang-19 libclang-rt-19-dev libzstd-dev zstd libfmt-dev libcli11-dev
          libgtest-dev libbenchmark-dev libjpeg-dev python3 nodejs zip unzip hyperfine time)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# python3 and node may come from elsewhere on the machine; a working command is enough.
filtered=()
for p in "${missing[@]}"; do
  case "$p" in
    python3) command -v python3 >/dev/null || filtered+=("$p") ;;
    nodejs) command -v node >/dev/null || filtered+=("$p") ;;
    *) filtered+=("$p") ;;
  esac
done
if ((${#filtered[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${filtered[@]}"
fi
