# Installs the Debian packages given that are missing (apt-get, as root or
# through sudo). Sourced by the scripts that build.
ensure_packages() {
  local missing=() package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  ((${#missing[@]})) || return 0
  echo "Installing: ${missing[*]}"
  local sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
}

# What building tarvik needs, for every script that builds it (the default
# preset configures the test suite too, so GoogleTest is among them).
tarvik_build_packages=(cmake ninja-build g++ nlohmann-json3-dev libssl-dev libgtest-dev
  libgmock-dev)

# What the windows preset needs besides the build's own tools: the MinGW-w64
# cross compiler (the posix thread model), GoogleTest's sources to compile for
# Windows, nlohmann/json's headers, and wine64 to run the tests.
tarvik_windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest
  nlohmann-json3-dev wine64)
