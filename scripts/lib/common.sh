# shellcheck shell=bash
# Shared setup for the scripts in scripts/: strict mode, the repository root and the Debian
# packages the build needs. Source it; do not run it.

set -euo pipefail

HYRN_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export HYRN_ROOT

# Parallel jobs for builds and linting: as many as the machine has cores, unless set.
HYRN_JOBS="${HYRN_JOBS:-$(nproc)}"
export HYRN_JOBS

# Debian packages that configuring, building, testing and linting need.
HYRN_DEBIAN_PACKAGES=(
  cmake ninja-build g++ clang clang-format clang-tidy python3 python3-jinja2 python3-jsonschema
  pkg-config
  libboost1.81-dev libboost-json1.81-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libclang-rt-14-dev
  libcli11-dev curl
)

hyrn_log() {
  printf '==> %s\n' "$*"
}

# Installs whichever of HYRN_DEBIAN_PACKAGES are missing: with apt-get when running as root,
# otherwise prints the exact command to run and exits 1.
hyrn_ensure_packages() {
  local missing=() pkg status
  for pkg in "${HYRN_DEBIAN_PACKAGES[@]}"; do
    status="$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)"
    if [[ "$status" != "installed" ]]; then
      missing+=("$pkg")
    fi
  done
  if ((${#missing[@]} == 0)); then
    return 0
  fi
  if [[ "$(id -u)" -ne 0 ]]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  hyrn_log "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
}

# Configures build/<preset> once; later builds let ninja re-run CMake when a list file changes.
hyrn_configure() {
  local preset="$1"
  if [[ ! -f "$HYRN_ROOT/build/$preset/build.ninja" ]]; then
    hyrn_log "$preset: configuring"
    (cd "$HYRN_ROOT" && cmake --preset "$preset")
  fi
}

# Builds build/<preset>, optionally only the given targets.
hyrn_build() {
  local preset="$1"
  shift
  hyrn_log "$preset: building"
  ninja -C "$HYRN_ROOT/build/$preset" -j"$HYRN_JOBS" "$@"
}

# The fuzz targets: one per fuzz/<name>_fuzzer.cpp, by name.
hyrn_fuzz_targets() {
  local source
  for source in "$HYRN_ROOT"/fuzz/*_fuzzer.cpp; do
    basename "$source" _fuzzer.cpp
  done
}

# The input folders of a fuzz target that exist, relative to the root: the scratch corpus of
# its last run (with --run-corpus), the seed corpus and the regression inputs. Git keeps no
# empty folders, so a target may have no regression inputs yet.
hyrn_fuzz_inputs() {
  local target="$1" dirs=("fuzz/corpus/$1" "fuzz/regressions/$1") dir
  [[ "${2:-}" == --run-corpus ]] && dirs=("build/fuzz/runs/$target/corpus" "${dirs[@]}")
  for dir in "${dirs[@]}"; do
    [[ -d "$HYRN_ROOT/$dir" ]] && echo "$dir"
  done
  return 0
}
