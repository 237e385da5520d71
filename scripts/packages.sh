# Installs the Debian packages a script needs that are not installed yet (apt-get, as root).
# Sourced by scripts/test and scripts/demo: install_missing_packages NAME... returns 2 (after
# saying why) when packages are missing and cannot be installed.
install_missing_packages() {
    local package missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "== installing: ${missing[*]}"
    if [ "$(id -u)" != 0 ]; then
        echo "missing packages; run as root: ${missing[*]}" >&2
        return 2
    fi
    export DEBIAN_FRONTEND=noninteractive
    local apt_options=(-q -y --no-install-recommends -o DPkg::Lock::Timeout=600)
    apt-get update -q && apt-get install "${apt_options[@]}" "${missing[@]}" </dev/null || {
        echo "apt-get failed" >&2
        return 2
    }
}

# What the Windows build and its runs under Wine need (fonts-wine: the dialog fonts on Xvfb).
WINDOWS_PACKAGES=(cmake make python3 googletest gcc-mingw-w64-x86-64-posix
                  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 xvfb fonts-wine)

# What the bench needs: the native build, and the peers it times (bsdtar, p7zip's 7z, 7-Zip's 7zz).
BENCH_PACKAGES=(cmake make python3 gcc g++ libgtest-dev libarchive-tools p7zip-full 7zip)
