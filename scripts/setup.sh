#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing), then
# configures and builds it in build/. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

mapfile -t packages < <(grep -v -E '^\s*(#|$)' scripts/packages.txt)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_install() {
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      -o DPkg::Lock::Timeout=600 "${missing[@]}"
  }
  # A package that is not known yet needs fresh package lists first.
  if ! apt_install; then
    as_root apt-get update -q -o DPkg::Lock::Timeout=600
    apt_install
  fi
fi

build_type="${QUORVELLE_BUILD_TYPE:-Release}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="$build_type" >/dev/null
cmake --build build -j "${QUORVELLE_JOBS:-2}"
