#!/usr/bin/env bash
# Checks what installing lays out, with the tools that read those files: every file of `cmake --install` in
# a temporary prefix, the desktop entry (desktop-file-validate), the user units (systemd-analyze verify), the
# manual page (man), and the Debian package (dpkg-deb: its contents, and --version run from them). Nothing
# is installed on the machine. Usage: check_install.sh BUILD_DIR [--lintian]
# --lintian checks the package with lintian instead (status 77 when lintian is not installed).
set -euo pipefail
build=$(cd "$1" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Under /usr (the package) the user units go to lib/systemd/user, under any other prefix to share/systemd/user:
# each is where systemd's user manager looks for that prefix.
files=(bin/veltora libexec/veltora/veltora-window share/applications/veltora.desktop share/man/man1/veltora.1.gz
    share/doc/veltora/guide.ja.md share/doc/veltora/guide.en.md share/doc/veltora/images/basic-settings.png
    share/doc/veltora/copyright share/doc/veltora/changelog.gz share/icons/hicolor/scalable/apps/veltora.svg)
for size in 16 32 48 64 128 256; do
    files+=(share/icons/hicolor/${size}x${size}/apps/veltora.png)
done
units=(veltora.service veltora-once.service veltora-once.timer)
fail() { echo "check_install: $*" >&2; exit 1; }

# The package alone: lintian on the .deb, no error and no warning (skipped, status 77, without lintian).
if [ "${2:-}" = --lintian ]; then
    command -v lintian >/dev/null || { echo "check_install: lintian is not installed (scripts/install-deps.sh --dev)"; exit 77; }
    (cd "$build" && cpack -G DEB -B "$tmp/deb" >/dev/null) || fail "cpack -G DEB"
    lintian --fail-on error,warning --no-tag-display-limit "$tmp"/deb/veltora_*.deb || fail "lintian"
    echo "check_install: lintian finds no error and no warning"
    exit 0
fi

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
for f in "${files[@]}" "${units[@]/#/share/systemd/user/}"; do
    [ -s "$tmp/prefix/$f" ] || fail "cmake --install did not lay out $f"
done
[ ! -e "$tmp/prefix/lib/systemd" ] || fail "user units under lib/systemd/user of a prefix that is not /usr"
gzip -t "$tmp/prefix/share/man/man1/veltora.1.gz" || fail "manual page not compressed"
[ "$("$tmp/prefix/bin/veltora" --version)" = "veltora 0.5.1" ] || fail "installed --version"
# The window is found from the installed program: it is the one that reports the missing folder.
set +e
err=$(env -u DISPLAY -u WAYLAND_DISPLAY "$tmp/prefix/bin/veltora" --dir "$tmp/none" 2>&1)
status=$?
set -e
[ "$status" -eq 64 ] && grep -q "$tmp/none" <<<"$err" || fail "the installed program does not start the window's: $err"
grep -qx "ExecStart=$tmp/prefix/bin/veltora --headless" \
    "$tmp/prefix/share/systemd/user/veltora.service" || fail "veltora.service does not start the installed program"
grep -qx "RestartPreventExitStatus=64 75 78" "$tmp/prefix/share/systemd/user/veltora.service" ||
    fail "veltora.service restarts when another Veltora holds the folder"
! grep -q "network-online" "$tmp"/prefix/share/systemd/user/veltora*.service || fail "units wait for network-online.target"

# The about box finds the guide from the window program's folder.
[ -s "$tmp/prefix/libexec/veltora/../../share/doc/veltora/guide.ja.md" ] || fail "guide not where the window looks"
strings "$tmp/prefix/libexec/veltora/veltora-window" | grep -x '\.\./\.\./share/doc/veltora' >/dev/null ||
    fail "the window does not look for the guide in ../../share/doc/veltora"

desktop-file-validate "$tmp/prefix/share/applications/veltora.desktop" || fail "desktop entry"
systemd-analyze verify --man=no "$tmp"/prefix/share/systemd/user/veltora{.service,-once.service,-once.timer} ||
    fail "systemd units"
# Rendered without errors and saying what the modes are.
if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$tmp/prefix/share/man/man1/veltora.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "manual page: $warnings"
    LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$tmp/prefix/share/man/man1/veltora.1.gz" 2>/dev/null | grep -q -- '--headless' ||
        fail "manual page"
fi

(cd "$build" && cpack -G DEB -B "$tmp/deb" >/dev/null) || fail "cpack -G DEB"
deb=$(ls "$tmp"/deb/veltora_*.deb)
listing=$(dpkg-deb -c "$deb")
for f in "${files[@]}" "${units[@]/#/lib/systemd/user/}"; do
    grep -q " \./usr/$f\$" <<<"$listing" || fail "the package lacks /usr/$f"
done
dpkg-deb -f "$deb" Recommends | grep -q "fonts-ipafont-gothic | fonts-noto-cjk" || fail "the package recommends no Japanese font"
dpkg-deb -f "$deb" Depends | grep -q libqt6core6 || fail "the package's dependencies do not name Qt"
dpkg-deb -x "$deb" "$tmp/unpacked"
[ "$("$tmp/unpacked/usr/bin/veltora" --version)" = "veltora 0.5.1" ] || fail "--version from the package"
grep -qx "ExecStart=/usr/bin/veltora --once" "$tmp/unpacked/usr/lib/systemd/user/veltora-once.service" ||
    fail "the package's units do not name /usr/bin/veltora"
echo "check_install: install layout, desktop entry, units, manual page and package are in order"
