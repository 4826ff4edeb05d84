#!/usr/bin/env bash
# Starts the server simulator in the background with the demo fleet
# (sim/demo/fleet.txt) and writes the matching configuration demo.zelmo_upload into
# the current directory. Prints the simulator's pid on stdout; stop it with kill PID.
# Usage: scripts/demo.sh [build-dir]          (default: build)
# Environment: ZELMO_SERVER_SIM=path of the simulator (default build-dir/sim/zelmo_server_sim),
#              ZELMO_DEMO_PORT=first of the three ports (default 47001; 0 lets the
#              system choose three free ports, which the configuration then names).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
sim=${ZELMO_SERVER_SIM:-$build/sim/zelmo_server_sim}
if [ ! -x "$sim" ]; then
    echo "demo.sh: no simulator at $sim (build the target zelmo_server_sim)" >&2
    exit 1
fi
base=${ZELMO_DEMO_PORT:-47001}
if [ "$base" -eq 0 ]; then
    ports=0,0,0
else
    ports=$base,$((base + 1)),$((base + 2))
fi

out=$(mktemp "${TMPDIR:-/tmp}/zelmo_demo_sim.XXXXXX")
"$sim" --fleet "$root/sim/demo/fleet.txt" --ports "$ports" >"$out" 2>&1 </dev/null &
pid=$!
for _ in $(seq 200); do
    grep -q '^ready$' "$out" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
done
if ! grep -q '^ready$' "$out"; then
    echo "demo.sh: the simulator did not start:" >&2
    cat "$out" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
fi
read -r p1 p2 p3 < <(awk '$1 == "listening" { printf "%s ", $3 } END { print "" }' "$out")

# A plain configuration file: UTF-8 with a byte-order mark.
{
    printf '\xef\xbb\xbf'
    cat <<CFG
# Демонстрационная конфигурация: серверы и устройства симулятора, запущенного scripts/demo.sh.

simultaneously = 8
reconnect_delay = 300

server(address "127.0.0.1", port $p1, notes "демо: основной сервер")
{
 device(imei 350000000000001, pin "1234", notes "успех")
 device(imei 350000000000002, pin "1234", notes "успех")
 device(imei 350000000000003, pin "1234", notes "успех, другие версии прошивок")
 device(imei 350000000000004, pin "1234", notes "нет связи между устройством и сервером")
 device(imei 350000000000005, pin "1234", notes "устройство ждёт другой PIN-код")
 device(imei 350000000000006, pin "1234", notes "устройство сообщает об ошибках")
 device(imei 350000000000007, pin "1234", notes "связь теряется при авторизации")
 device(imei 350000000000008, pin "1234", notes "занято другим клиентом")
 device(imei 350000000100000, pin "1234")
 device(imei 350000000100001, pin "1234")
 device(imei 350000000100002, pin "1234")
}

server(address "127.0.0.1", port $p2, notes "демо: пинги каждые 200 мс")
{
 device(imei 351000000000001, pin "00001111", notes "успех")
 device(imei 351000000000002, pin "00001111", notes "медленное устройство")
 device(imei 351000000000003, pin "00001111", notes "успех, версия модема в cp1251")
 device(imei 351000000000004, pin "00001111", notes "связь теряется во время обмена")
 device(imei 351000000000005, pin "00001111", notes "возвращает другое имя файла")
 device(imei 351000000100000, pin "00001111")
 device(imei 351000000100001, pin "00001111")
}

server(address "127.0.0.1", port $p3, notes "демо: сервер отвергает соединения")
{
 device(imei 352000000000001, pin "1234")
 device(imei 352000000000002, pin "1234")
}
CFG
} >demo.zelmo_upload

echo "demo.sh: simulator on 127.0.0.1 ports $p1 $p2 $p3 (output in $out), configuration in $PWD/demo.zelmo_upload" >&2
echo "$pid"
