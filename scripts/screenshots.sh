#!/usr/bin/env bash
# Makes the guide's screenshots (docs/images/*.png) from the real build/veltora under a virtual X server.
# Run again, it makes them again: the folders, settings and servers are prepared here every time, and the
# clock the program sees starts at 2026-12-06 09:05:00 (only the seconds in the status texts may differ).
#
#   1. basic-settings.png  the tab "基本設定" of a first setup (example server, nothing is sent anywhere)
#   2. slot-settings.png   the tab "設定1" of the same setup
#   3. after-run.png       the tab "設定1" after "今すぐ実行" against an echo page and an FTP server on loopback
#   4. ipv6-settings.png   the window "IPv6..." opens, after a run that also found the IPv6 address from an echo
#                          page on [::1] and put both addresses into the page
#   5. trust-unknown-key.png  the question "今すぐ実行" asks about an SFTP server whose host key is not yet known
#   6. trust-changed-key.png  what it shows instead when known_hosts holds another key for the server
#
# Usage: scripts/screenshots.sh [output folder, default docs/images]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/images}")
cd "$root"
scripts/install-deps.sh --dev
[ -x build/veltora ] || scripts/build.sh
mkdir -p "$out"

python=/usr/bin/python3 # Debian's, which sees python3-pyftpdlib
fakeTime=$(dpkg -L libfaketime | grep '/libfaketime\.so\.1$' | head -n 1)
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: the first free number from 90 on.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

# Where to click, in the window's own coordinates (the window is 511 x 501 and has no frame here).
tabSlot1=(86 17)
runNow=(435 395) # "今すぐ実行"
ipv6Button=(445 66) # "IPv6..."

# A settings file as the window writes it: key, index, value; CR LF line ends.
settingsFile() {
    local file=$1
    shift
    : >"$file"
    for record in "$@"; do printf '%s\r\n' "$record" >>"$file"; done
}

# The template of the first setup: both markers in their default spelling.
template() {
    printf '%s\r\n' '<html>' '<head><meta charset="UTF-8"><title>自宅サーバ</title></head>' '<body>' \
        '<p>自宅サーバ: <a href="http://HOSTNAME/">http://HOSTNAME/</a></p>' '<p>更新: NOWDTTM</p>' \
        '</body>' '</html>' >"$1"
}

window=""
# Starts the program in folder $1 and waits for its window.
start() {
    # The library rather than the faketime command, which would stand between us and the program's pid. The
    # date and time stand still (no "@"), so that every run shows the same; timers keep the real monotonic clock.
    (cd "$1" && LD_PRELOAD="$fakeTime" FAKETIME='2026-12-06 09:05:00' FAKETIME_DONT_FAKE_MONOTONIC=1 \
        exec "$root/build/veltora" --dir .) >"$work/veltora.log" 2>&1 &
    program=$!
    pids+=("$program")
    window=""
    for _ in $(seq 200); do
        kill -0 "$program" 2>/dev/null || { cat "$work/veltora.log" >&2; echo "veltora ended early" >&2; exit 1; }
        window=$(xdotool search --onlyvisible --name '^ Veltora 設定$' 2>/dev/null | head -n 1) || true
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "no window" >&2; exit 1; }
    sleep 1
}

stop() {
    # Killed, not closed: closing would make the exit-time lookup, and the folder is thrown away anyway.
    kill -KILL "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
    # The next start must not find this window again.
    for _ in $(seq 100); do xdotool getwindowname "$window" >/dev/null 2>&1 || break; sleep 0.1; done
}

click() {
    xdotool mousemove --window "$window" "$1" "$2" click 1
    sleep 0.7
}

shoot() {
    xdotool mousemove 0 0 # no hover highlight in the picture
    sleep 0.3
    import -window "$window" -strip "PNG24:$out/$1"
    echo "wrote $out/$1"
}

# 1 and 2: a first setup, as the guide walks through it.
setup="$work/setup"
mkdir -p "$setup"
template "$setup/TEMPLATE.HTML"
settingsFile "$setup/Veltora_050.ini" \
    '"GLOBALURL",0,"http://checkip.dyndns.org/"' '"USEROUTE",0,0' '"FTPSERVERNAME",0,"ftp://ftp.example.com"' \
    '"FTPUSERID",0,"taro"' '"FTPUSERPASS",0,"himitsu"' '"TASKTRAY",0,0' '"AUTOEXEC",0,1' '"TIMERSET",0,"5"' \
    '"LOG",0,1' '"OKCHECK",0,1' '"TEMPLATE",0,"TEMPLATE.HTML"' '"FTPDIR",0,"public_html/"' \
    '"FTPFILENAME",0,"index.html"'
start "$setup"
shoot basic-settings.png
click "${tabSlot1[@]}"
shoot slot-settings.png
stop

# 3: one run against an echo page and an FTP server on loopback, so that the result is a real one.
run="$work/run"
mkdir -p "$run" "$work/ftp/public_html"
template "$run/TEMPLATE.HTML"
serverPort() { # waits for the server's "PORT <n>" line
    for _ in $(seq 100); do
        port=$(sed -n 's/^PORT //p' "$1" 2>/dev/null) || true
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || { echo "server did not start: $1" >&2; exit 1; }
}
"$python" tests/servers/ftp_server.py --root "$work/ftp" --user taro --password himitsu >"$work/ftp.out" 2>&1 &
pids+=($!)
serverPort "$work/ftp.out"
ftpPort=$port
"$python" tests/servers/http_echo_server.py >"$work/http.out" 2>&1 &
pids+=($!)
serverPort "$work/http.out"
httpPort=$port
answer=$(printf 'Current IP Address: 192.0.2.7' | base64 | tr '+/' '-_' | tr -d '=')
settingsFile "$run/Veltora_050.ini" \
    "\"GLOBALURL\",0,\"http://127.0.0.1:$httpPort/body?b64=$answer\"" '"USEROUTE",0,0' \
    "\"FTPSERVERNAME\",0,\"ftp://127.0.0.1:$ftpPort\"" '"FTPUSERID",0,"taro"' '"FTPUSERPASS",0,"himitsu"' \
    '"AUTOEXEC",0,0' '"LOG",0,1' '"OKCHECK",0,1' '"TEMPLATE",0,"TEMPLATE.HTML"' '"FTPDIR",0,"public_html/"' \
    '"FTPFILENAME",0,"index.html"'
start "$run"
click "${runNow[@]}"
for _ in $(seq 300); do [ -s "$work/ftp/public_html/index.html" ] && break; sleep 0.1; done
[ -s "$work/ftp/public_html/index.html" ] || { echo "the run uploaded nothing" >&2; exit 1; }
sleep 2 # the run logs out and shows its result
click "${tabSlot1[@]}"
shoot after-run.png
stop

# 4: the same run with the IPv6 address looked up too, from an echo page on [::1]; then the IPv6 window.
ipv6="$work/ipv6"
mkdir -p "$ipv6"
mv "$work/ftp/public_html/index.html" "$work/run-index.html"
template "$ipv6/TEMPLATE.HTML"
printf '%s\r\n' '<p>IPv6: <a href="http://[HOSTNAME6]/">HOSTNAME6</a></p>' >>"$ipv6/TEMPLATE.HTML"
"$python" tests/servers/http_echo_server.py --ipv6 >"$work/http6.out" 2>&1 &
pids+=($!)
serverPort "$work/http6.out"
http6Port=$port
answer6=$(printf 'Current IP Address: 2001:db8::7' | base64 | tr '+/' '-_' | tr -d '=')
settingsFile "$ipv6/Veltora_050.ini" \
    "\"GLOBALURL\",0,\"http://127.0.0.1:$httpPort/body?b64=$answer\"" '"USEROUTE",0,0' \
    "\"FTPSERVERNAME\",0,\"ftp://127.0.0.1:$ftpPort\"" '"FTPUSERID",0,"taro"' '"FTPUSERPASS",0,"himitsu"' \
    '"AUTOEXEC",0,0' '"LOG",0,1' '"OKCHECK",0,1' '"TEMPLATE",0,"TEMPLATE.HTML"' '"FTPDIR",0,"public_html/"' \
    '"FTPFILENAME",0,"index.html"' '"USEIPV6",0,1' \
    "\"GLOBALURL6\",0,\"http://[::1]:$http6Port/body?b64=$answer6\"" '"HOSTNAME6EXEC",0,1'
start "$ipv6"
click "${runNow[@]}"
for _ in $(seq 300); do [ -s "$work/ftp/public_html/index.html" ] && break; sleep 0.1; done
[ -s "$work/ftp/public_html/index.html" ] || { echo "the IPv6 run uploaded nothing" >&2; exit 1; }
sleep 2
click "${ipv6Button[@]}"
form=$(xdotool search --onlyvisible --name '^ IPv6 設定$' 2>/dev/null | head -n 1) || true
[ -n "$form" ] || { echo "no IPv6 window" >&2; exit 1; }
xdotool mousemove 0 0
sleep 0.3
import -window "$form" -strip "PNG24:$out/ipv6-settings.png"
echo "wrote $out/ipv6-settings.png"
echo "--- the page the IPv6 run uploaded (public_html/index.html):"
tr -d '\r' <"$work/ftp/public_html/index.html"
echo "--- its Veltora.log:"
tr -d '\r' <"$ipv6/Veltora.log"
stop

# 5 and 6: the trust dialog of a run started by the user, against an SFTP server on loopback; the home folder
# (and its ~/.ssh/known_hosts) is one of ours.
mkdir -p "$work/sftp/public_html" "$work/home"
openssl genpkey -algorithm ed25519 -out "$work/sftp-host.pem" 2>/dev/null
openssl genpkey -algorithm ed25519 -out "$work/sftp-other.pem" 2>/dev/null
SFTP_TEST_PASSWORD=himitsu "$python" -u tests/servers/sftp_server.py --root "$work/sftp" --host-key "$work/sftp-host.pem" \
    --user taro >"$work/sftp.out" 2>&1 &
pids+=($!)
serverPort "$work/sftp.out"
sftpPort=$port
# The dialog is a window of its own, named by its title.
trustShot() {
    local dialog=""
    start "$1"
    click "${runNow[@]}"
    for _ in $(seq 200); do
        dialog=$(xdotool search --onlyvisible --name '^サーバーの確認$' 2>/dev/null | head -n 1) || true
        [ -n "$dialog" ] && break
        sleep 0.1
    done
    [ -n "$dialog" ] || { cat "$work/veltora.log" >&2; echo "no trust dialog" >&2; exit 1; }
    sleep 1
    xdotool mousemove 0 0
    import -window "$dialog" -strip "PNG24:$out/$2"
    echo "wrote $out/$2"
    stop
}
for kind in unknown changed; do
    trust="$work/trust-$kind"
    mkdir -p "$trust"
    template "$trust/TEMPLATE.HTML"
    settingsFile "$trust/Veltora_050.ini" \
        "\"GLOBALURL\",0,\"http://127.0.0.1:$httpPort/body?b64=$answer\"" '"USEROUTE",0,0' \
        "\"FTPSERVERNAME\",0,\"sftp://127.0.0.1:$sftpPort\"" '"FTPUSERID",0,"taro"' '"FTPUSERPASS",0,"himitsu"' \
        '"AUTOEXEC",0,0' '"LOG",0,1' '"OKCHECK",0,1' '"TEMPLATE",0,"TEMPLATE.HTML"' '"FTPDIR",0,"public_html/"' \
        '"FTPFILENAME",0,"index.html"' '"EXEC_TIMING1",0,#TRUE#' '"EXEC_TIMING2",0,#FALSE#'
    rm -rf "$work/home/.ssh"
    if [ "$kind" = changed ]; then
        mkdir -m 700 "$work/home/.ssh"
        printf '[127.0.0.1]:%s ssh-ed25519 %s\n' "$sftpPort" \
            "$(openssl pkey -in "$work/sftp-other.pem" -pubout -outform DER | tail -c 32 |
                { printf '\0\0\0\x0bssh-ed25519\0\0\0\x20'; cat; } | base64 -w0)" >"$work/home/.ssh/known_hosts"
    fi
    HOME="$work/home" trustShot "$trust" "trust-$kind-key.png"
done


echo "--- the page the run uploaded (public_html/index.html):"
tr -d '\r' <"$work/run-index.html"
echo "--- Veltora.log:"
tr -d '\r' <"$run/Veltora.log"
