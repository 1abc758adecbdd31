# Sourced by the other scripts: installs what the build needs and builds.
# Not meant to be run on its own.

cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
TOP=$(pwd)
BUILD_DIR=${TAV_BUILD_DIR:-$TOP/build}
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}

# Debian packages the panel and its tests build with.
TAV_PACKAGES=(g++ make cmake pkg-config qtbase5-dev libqt5serialport5-dev desktop-file-utils)

# ensure_packages PKG...: installs the missing ones when root, otherwise says
# which apt-get line to run and fails.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null &&
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# build_tree DIR [CMAKE ARGS...]: configures and builds into DIR.
build_tree() {
    local dir=$1
    shift
    cmake -S "$TOP" -B "$dir" "$@" >/dev/null &&
        cmake --build "$dir"
}
