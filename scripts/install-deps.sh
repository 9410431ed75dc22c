#!/usr/bin/env bash
# Installs what building and testing Veltora needs on Debian 12, only when something is missing (the tools
# that check the install layout and the Debian package included, and what the interop test's servers need).
# Usage: scripts/install-deps.sh [--run|--dev] [--sanitize] [--fuzz]
#   --run adds what the window needs on a fresh desktop: a Japanese font
#   --dev adds that, lintian for the package, and the tools for looking at the window without a desktop
#         (virtual X server, input, screenshots, a set clock for reproducible pictures)
#   --sanitize adds the runtime libraries of GCC's sanitizers (scripts/test.sh --sanitize and --tsan)
#   --fuzz adds clang and its runtime libraries, libFuzzer among them (scripts/fuzz.sh)
set -euo pipefail
pkgs=(cmake g++ make pkg-config qt6-base-dev libqt6svg6 libcurl4-openssl-dev libssl-dev ca-certificates python3 python3-pyftpdlib
    python3-openssl python3-asyncssh libssh-dev curl openssl qt6-translations-l10n desktop-file-utils dpkg-dev systemd man-db
    iproute2)
# The interop test's real servers are unpacked, not installed (scripts/interop-servers.sh): the libraries they
# load, ssh-keygen for their host keys, and the tools that make the test's login.
pkgs+=(libcap2 libpam0g libpam-modules libssl3 libwrap0 libacl1 libcrypt1 libhiredis0.14 libidn2-0 libmemcached11
    libmemcachedutil2 libncursesw6 libpcre2-8-0 libpcre2-posix3 libtinfo6 zlib1g libsodium23 libaudit1 libcom-err2
    libgssapi-krb5-2 libkrb5-3 libselinux1 libsystemd0 openssh-client passwd)
for mode in "$@"; do
    case "$mode" in
    --run) pkgs+=(fonts-ipafont-gothic qt6-qpa-plugins) ;;
    --dev) pkgs+=(fonts-ipafont-gothic qt6-qpa-plugins xvfb xdotool x11-apps imagemagick trayer faketime lintian) ;;
    --sanitize) pkgs+=(libasan8 libubsan1 liblsan0 libtsan2) ;;
    --fuzz) pkgs+=(clang libclang-rt-14-dev) ;;
    *) echo "unknown option: $mode" >&2; exit 64 ;;
    esac
done
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
