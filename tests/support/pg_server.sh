#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests: pg_server.sh start|stop FOLDER
#   start: makes a cluster in a new temporary folder, listening on a Unix socket there and on
#          127.0.0.1 at a free port, with three roles, and writes their connection strings to
#          FOLDER/conninfo (the owner "shop" of the database "shop"), FOLDER/conninfo.clerk (may
#          only read and write tables), FOLDER/conninfo.tcp (shop over TCP) and
#          FOLDER/conninfo.admin (a superuser, for killing sessions).
#   stop:  stops that server and removes its folder and FOLDER.
#   restart: stops that server, ending every session, and starts it again (for the tests of
#          connections lost).
# initdb and pg_ctl refuse to run as root: as root they run as the user postgres.
set -euo pipefail
cmd="${1:?start or stop}" out="${2:?folder for the connection strings}"

as_server_user() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop() {
    [ -f "$out/dir" ] || return 0
    local dir bin
    dir="$(cat "$out/dir")" bin="$(cat "$out/bin")"
    if [ -f "$dir/data/postmaster.pid" ]; then
        (cd "$dir" && as_server_user "$bin/pg_ctl" stop -D "$dir/data" -m immediate -s) || true
    fi
    rm -rf "$dir" "$out"
}

case "$cmd" in
stop) stop; exit 0 ;;
restart)
    dir="$(cat "$out/dir")" bin="$(cat "$out/bin")"
    cd "$dir"
    as_server_user "$bin/pg_ctl" restart -D "$dir/data" -m fast -w -s -l "$dir/server.log"
    exit 0 ;;
start) ;;
*) echo "usage: $0 start|stop|restart FOLDER" >&2; exit 2 ;;
esac

stop # what a killed earlier run left behind
bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
[ -x "$bin/initdb" ] || { echo "PostgreSQL's server is not installed (scripts/deps.sh installs it)" >&2; exit 1; }
dir="$(mktemp -d /tmp/warehouse-pg.XXXXXX)"
mkdir -p "$out"
echo "$dir" >"$out/dir"
echo "$bin" >"$out/bin"
[ "$(id -u)" -ne 0 ] || chown postgres: "$dir"
port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"

cd "$dir" # the server user may not be able to enter the caller's folder
as_server_user "$bin/initdb" -D "$dir/data" -U admin -E UTF8 --no-locale --no-sync -A trust >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
# The superuser without a password on the socket only; everyone else with a password, as on a shop's server.
cat >"$dir/data/pg_hba.conf" <<HBA
local all admin trust
local all all scram-sha-256
host all all 127.0.0.1/32 scram-sha-256
HBA
# Nothing here needs to survive a crash.
as_server_user "$bin/pg_ctl" start -D "$dir/data" -l "$dir/server.log" -w -s \
    -o "-k $dir -p $port -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off" ||
    { cat "$dir/server.log" >&2; exit 1; }

socket="host=$dir port=$port"
"$bin/psql" "$socket dbname=postgres user=admin" -q -v ON_ERROR_STOP=1 <<'SQL'
CREATE ROLE shop LOGIN PASSWORD 'shop-secret';
CREATE DATABASE shop OWNER shop;
CREATE ROLE clerk LOGIN PASSWORD 'clerk-secret';
SQL
# The grants the README gives the working role.
"$bin/psql" "$socket dbname=shop user=admin" -q -v ON_ERROR_STOP=1 <<'SQL'
REVOKE CONNECT ON DATABASE shop FROM PUBLIC;
GRANT CONNECT ON DATABASE shop TO clerk;
GRANT USAGE ON SCHEMA public TO clerk;
GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO clerk;
GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO clerk;
ALTER DEFAULT PRIVILEGES FOR ROLE shop IN SCHEMA public GRANT SELECT, INSERT, UPDATE, DELETE ON TABLES TO clerk;
ALTER DEFAULT PRIVILEGES FOR ROLE shop IN SCHEMA public GRANT USAGE, SELECT ON SEQUENCES TO clerk;
SQL
echo "$socket dbname=shop user=shop password=shop-secret" >"$out/conninfo"
echo "$socket dbname=shop user=clerk password=clerk-secret" >"$out/conninfo.clerk"
echo "host=127.0.0.1 port=$port dbname=shop user=shop password=shop-secret" >"$out/conninfo.tcp"
echo "$socket dbname=shop user=admin" >"$out/conninfo.admin"
