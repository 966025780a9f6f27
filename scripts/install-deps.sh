#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test the program. Idempotent.
# With --fuzz also what the fuzz build needs (scripts/fuzz.sh): clang and its libFuzzer runtime.
set -euo pipefail
packages=(
  g++ cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  gettext qt6-translations-l10n zlib1g-dev libjpeg62-turbo-dev
  libcurl4-openssl-dev libdw-dev
  xvfb xauth x11-utils xdotool openbox procps python3
  fonts-liberation2 fonts-dejavu-core
  python3-pyftpdlib lighttpd
  libmodbus-dev strace
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
