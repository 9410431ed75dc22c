#!/usr/bin/env bash
# Unpacks Debian's own FTP and SSH servers (vsftpd, proftpd, pure-ftpd with its pure-pw, OpenSSH's sshd) into
# DIR/root for the interop test, without installing them: their packages conflict with each other and would
# start daemons. Only what is missing is fetched; a second call does nothing. The libraries they need are
# installed by scripts/install-deps.sh. Usage: scripts/interop-servers.sh DIR
set -euo pipefail
dir=$(realpath -m "${1:?usage: scripts/interop-servers.sh DIR}")
packages=(vsftpd proftpd-core pure-ftpd pure-ftpd-common openssh-server)
binaries=(usr/sbin/vsftpd usr/sbin/proftpd usr/sbin/pure-ftpd usr/bin/pure-pw usr/sbin/sshd)
ready() {
    local b
    for b in "${binaries[@]}"; do [ -x "$dir/root/$b" ] || return 1; done
}
ready && exit 0
mkdir -p "$dir/debs" "$dir/root"
cd "$dir/debs"
for p in "${packages[@]}"; do
    compgen -G "${p}_*.deb" >/dev/null && continue
    # A machine whose package lists were never fetched (or were cleaned) knows no candidate yet.
    apt-get download -qq "$p" 2>/dev/null || { apt-get update -qq && apt-get download -qq "$p"; }
done
for deb in ./*.deb; do dpkg-deb -x "$deb" "$dir/root"; done
ready || { echo "interop servers missing after unpacking into $dir/root" >&2; exit 1; }
