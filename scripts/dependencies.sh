# Installs the Debian packages the build needs (sourced by test.sh and run.sh).
# As root it installs what is missing with apt-get; otherwise it prints the
# one apt-get line to run and stops.

VELTRANA_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev zlib1g-dev xz-utils locales
  clang libclang-rt-14-dev
  libproj-dev proj-bin time
)

veltrana_missing_packages() {
  local missing=()
  for p in "${VELTRANA_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]}"
}

veltrana_install_dependencies() {
  local missing
  missing=$(veltrana_missing_packages)
  if [ -n "$missing" ]; then
    if [ "$(id -u)" -eq 0 ]; then
      echo "Installing missing packages: $missing"
      apt-get update -qq
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
    else
      echo "Missing packages. Run as root:"
      echo "  apt-get update && apt-get install -y $missing"
      exit 1
    fi
  fi
  # A decimal-comma locale for the number-format tests (skipped without it).
  if [ "$(id -u)" -eq 0 ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 || true
  fi
}
