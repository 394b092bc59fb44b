# Sourced by scripts/run and scripts/test: installs the Debian packages that are missing.
# Runs apt-get only when something is missing, as root or through sudo, without questions.

korvane_install_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed$' \
            || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

KORVANE_BUILD_PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-qpa-plugins libgl-dev
    libturbojpeg0-dev libsqlite3-dev libxxhash-dev nettle-dev
    fonts-arphic-uming
)
KORVANE_TEST_PACKAGES=(
    libgtest-dev googletest
    liblnk-utils sqlite3 desktop-file-utils
    locales  # the zh_CN source that the menu entry tests compile with localedef
)
KORVANE_FORMAT_PACKAGES=(
    clang-format git
)
