# Shared by the set-up scripts: installs the Debian packages listed in
# scripts/packages (as root), or names the missing ones and stops.

ledtick_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

ledtick_missing_packages() {
    local pkg
    grep -v '^\s*#' "$ledtick_root/scripts/packages" | while read -r pkg; do
        [ -n "$pkg" ] || continue
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || echo "$pkg"
    done
}

ledtick_install_packages() {
    local missing
    missing=$(ledtick_missing_packages | tr '\n' ' ')
    [ -n "${missing// /}" ] || return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "ledtick needs these Debian packages: $missing" >&2
        echo "install them as root (apt-get install $missing) or run this script as root." >&2
        exit 1
    fi
    echo "installing: $missing" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

ledtick_build() {
    local dir=$1; shift
    cmake -S "$ledtick_root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

# Builds only the named targets, configured as ledtick_build does.
ledtick_build_targets() {
    local dir=$1; shift
    cmake -S "$ledtick_root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$dir" -j"$(nproc)" --target "$@"
}
