#!/usr/bin/env bash
# Installs the Debian packages of a set in scripts/packages.txt (only those
# missing), then configures and builds into build/. Safe to run again.
#
#   setup.sh app   what building and running Quorvelle needs; builds the
#                  application, its helpers and its package (no tests)
#   setup.sh all   that and what the tests and benchmarks need; builds all
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  app) sets=' app ' testing=OFF ;;
  all) sets=' app test ' testing=ON ;;
  *) echo "usage: setup.sh app|all" >&2; exit 2 ;;
esac

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The lines of the chosen sets, without comments and blank lines (lines
# before the first set belong to app).
mapfile -t packages < <(awk -v sets="$sets" '
  BEGIN { set = "app" }
  /^[[:space:]]*(#|$)/ { next }
  /^\[.*\]$/ { set = substr($0, 2, length($0) - 2); next }
  index(sets, " " set " ") { print $1 }' scripts/packages.txt)
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
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="$build_type" -DBUILD_TESTING="$testing" >/dev/null
cmake --build build -j "${QUORVELLE_JOBS:-2}"
