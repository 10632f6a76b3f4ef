#!/usr/bin/env bash
# Builds the Debian package from this build folder, checks it with lintian, installs it with
# dpkg, starts the installed program offscreen as a user would (in an empty folder, from the
# menu in the home folder, with --folder), checks each ledger it made, and removes the package.
#   package_test.sh BUILD_DIR LEDGER_CHILD VERSION
# Exits 77 (skipped) only where this machine does not allow installing packages.
set -euo pipefail
build="$1"
ledger_child="$2"
version="$3"
pkg=warehouse

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
        sudo="sudo -n"
    else
        echo "SKIPPED: installing the package needs root (or sudo without a password); run the tests as root to include this one"
        exit 77
    fi
fi
if dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    echo "SKIPPED: $pkg is already installed on this machine and this test would remove it"
    exit 77
fi

tmp="$(mktemp -d)"
installed=0
cleanup() {
    if [ "$installed" -eq 1 ]; then $sudo dpkg -r "$pkg" >/dev/null || true; fi
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

# dpkg refuses to start while another apt or dpkg runs; wait for it rather than fail.
dpkg_waiting() {
    for _ in $(seq 1 120); do
        if $sudo dpkg "$@" >"$tmp/dpkg.log" 2>&1; then return 0; fi
        grep -q "lock" "$tmp/dpkg.log" || { cat "$tmp/dpkg.log"; return 1; }
        sleep 2
    done
    cat "$tmp/dpkg.log"
    return 1
}

echo "== cpack"
cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; fail "cpack"; }
deb="$(ls "$tmp"/pkg/*.deb)"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for needed in libqt6core6 libqt6gui6 libqt6widgets6 libsqlcipher0 fonts-noto-cjk qt6-translations-l10n; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"

echo "== lintian"
lintian --fail-on error "$deb" || fail "lintian reports errors"

echo "== dpkg -i"
installed=1
dpkg_waiting -i "$deb" || fail "dpkg -i"
desktop=/usr/share/applications/$pkg.desktop
desktop-file-validate "$desktop" || fail "desktop entry"
[ -f /usr/share/icons/hicolor/scalable/apps/$pkg.svg ] && [ -f /usr/share/icons/hicolor/48x48/apps/$pkg.png ] ||
    fail "icons missing"
[ -f /usr/share/$pkg/help/index.html ] && [ -f /usr/share/$pkg/help/images/form1.png ] || fail "manual missing"
/usr/bin/$pkg --help | grep -qF /usr/share/$pkg/help/index.html || fail "--help does not name the manual"

# The installed program, as the menu starts it, with the offscreen platform and a home of its own.
start() {
    local where="$1"; shift
    (cd "$where" && env -u XDG_DATA_HOME HOME="$tmp/home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
        timeout 60 $(sed -n 's/^Exec=//p' "$desktop") --quit-after-start "$@") || fail "start in $where $*"
}
check_ledger() {
    local out
    out="$("$ledger_child" rows "$1")" || fail "ledger in $1: $out"
    [ "$out" = "rows 0" ] || fail "ledger in $1: $out"
    echo "ledger in $1: $out"
}
mkdir -p "$tmp/home" "$tmp/empty"

echo "== start in an empty folder"
start "$tmp/empty"
check_ledger "$tmp/empty"

echo "== start from the menu (home folder without a ledger)"
start "$tmp/home"
check_ledger "$tmp/home/.local/share/$pkg"
[ ! -e "$tmp/home/1.mdb" ] || fail "menu start left a ledger in the home folder"

echo "== start with --folder"
start "$tmp/home" --folder "$tmp/chosen/books"
check_ledger "$tmp/chosen/books"

echo "== dpkg -r"
dpkg_waiting -r "$pkg" || fail "dpkg -r"
installed=0
[ ! -e /usr/bin/$pkg ] && [ ! -e "$desktop" ] || fail "files left after removal"
echo "package test passed"
