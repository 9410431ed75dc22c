# Sourced by the benchmarks: the loopback echo and FTP servers of tests/servers/ and a settings folder.
# start_servers DIR: starts both, sets ftp_port, echo_url and the FTP root DIR/root; appends their pids to pids.
start_servers() {
    local dir=$1 servers
    servers="$(cd "$(dirname "${BASH_SOURCE[0]}")/../tests/servers" && pwd)"
    mkdir -p "$dir/root/public_html" "$dir/work"
    printf '<html><body>Current IP Address: 192.0.2.55</body></html>\r\n' >"$dir/root/echo.txt"
    /usr/bin/python3 -u "$servers/http_echo_server.py" >"$dir/echo.out" 2>&1 &
    pids+=($!)
    /usr/bin/python3 -u "$servers/ftp_server.py" --root "$dir/root" >"$dir/ftp.out" 2>&1 &
    pids+=($!)
    until grep -q '^PORT ' "$dir/echo.out" 2>/dev/null && grep -q '^PORT ' "$dir/ftp.out" 2>/dev/null; do sleep 0.05; done
    ftp_port=$(awk '/^PORT / {print $2; exit}' "$dir/ftp.out")
    echo_port=$(awk '/^PORT / {print $2; exit}' "$dir/echo.out")
    echo_url="http://127.0.0.1:${echo_port}/file?path=$dir/root/echo.txt"
}

# write_settings DIR FTP_PORT ECHO_URL AUTOEXEC TIMERSET: nine slots that upload on every check
# (page1.html to page9.html from template1.html to template9.html) and at exit, LOG on.
write_settings() {
    local dir=$1 port=$2 url=$3 autoexec=$4 period=$5 n
    {
        printf '"GLOBALURL",0,"%s"\r\n"USEROUTE",0,0\r\n"FTPSERVERNAME",0,"ftp://127.0.0.1:%s"\r\n' "$url" "$port"
        printf '"FTPUSERID",0,"veltora"\r\n"FTPUSERPASS",0,"secret"\r\n"TASKTRAY",0,0\r\n'
        printf '"AUTOEXEC",0,%s\r\n"TIMERSET",0,"%s"\r\n"LOG",0,1\r\n' "$autoexec" "$period"
        for n in 0 1 2 3 4 5 6 7 8; do
            printf '"OKCHECK",%s,1\r\n"TEMPLATE",%s,"template%s.html"\r\n"HOSTNAME",%s,"HOSTNAME"\r\n' $n $n $((n + 1)) $n
            printf '"NOWDTTM",%s,"NOWDTTM"\r\n"HOSTNAMEEXEC",%s,1\r\n"NOWDTTMEXEC",%s,1\r\n' $n $n $n
            printf '"FTPDIR",%s,"public_html/"\r\n"FTPFILENAME",%s,"page%s.html"\r\n' $n $n $((n + 1))
            printf '"EXEC_TIMING1",%s,#TRUE#\r\n"EXEC_TIMING2",%s,#FALSE#\r\n"EXEC_TIMING3",%s,#TRUE#\r\n' $n $n $n
        done
    } >"$dir/Veltora_050.ini"
    for n in 1 2 3 4 5 6 7 8 9; do
        {
            printf '<html><head><title>home server</title></head><body>\r\n'
            for line in $(seq 1 40); do printf '<p>line %s: the home server is at HOSTNAME since NOWDTTM.</p>\r\n' "$line"; done
            printf '</body></html>\r\n'
        } >"$dir/template$n.html"
    done
}
