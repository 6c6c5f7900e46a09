#!/bin/sh
# A throw-away PostgreSQL server for the tests.
#
#   pg_server.sh start DIR [ODBC_INI]   fresh data directory DIR/data, a free port
#                                      on 127.0.0.1, database "qmr", user "qmr"
#                                      (trust on 127.0.0.1 only), room for 20
#                                      prepared (XA) transactions; writes the port
#                                      to DIR/port and, when ODBC_INI is given,
#                                      adds the data sources QmrPgU/QmrPgA to it
#   pg_server.sh stop DIR              stops the server and removes DIR/data
#
# The server never outlives its starter by long: a watchdog stops it when the
# process that ran "start" (CTest, or a wrapper script) has gone, so a killed
# test run leaves no server behind.
set -eu

PGBIN=${QMR_PG_BIN:-}
if [ -z "$PGBIN" ]; then
  for d in /usr/lib/postgresql/*/bin; do
    [ -x "$d/initdb" ] && PGBIN=$d
  done
fi
if [ -z "$PGBIN" ] || [ ! -x "$PGBIN/initdb" ]; then
  echo "pg_server: PostgreSQL server binaries not found (Debian package postgresql;" \
       "run scripts/install-deps.sh)" >&2
  exit 1
fi

usage() { echo "usage: $0 start DIR [ODBC_INI] | stop DIR" >&2; exit 2; }
[ $# -ge 2 ] || usage
cmd=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
data=$dir/data

# initdb and postgres refuse to run as root: as root, the server runs as an
# unprivileged user that owns only the data directory.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "$PGUSER_OS" -- "$@"
  else
    "$@"
  fi
}
PGUSER_OS=${QMR_PG_OS_USER:-nobody}

stop_server() {
  if [ -f "$data/postmaster.pid" ]; then
    as_owner "$PGBIN/pg_ctl" -D "$data" -m fast -w -t 30 stop >/dev/null 2>&1 ||
      as_owner "$PGBIN/pg_ctl" -D "$data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
  fi
  if [ -f "$dir/watchdog.pid" ]; then
    kill "$(cat "$dir/watchdog.pid")" 2>/dev/null || true
    rm -f "$dir/watchdog.pid"
  fi
}

free_port() {
  python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

# Adds (or replaces) the PostgreSQL data sources in an odbc.ini: the new file
# is written beside the old one and renamed over it, so a reader running at
# the same time sees either file whole.
write_dsns() {
  ini=$1 port=$2
  tmp=$ini.pg.$$
  awk '/^# BEGIN PostgreSQL test server/{skip=1} !skip{print} /^# END PostgreSQL test server/{skip=0}' \
    "$ini" > "$tmp"
  cat >> "$tmp" <<EOF
# BEGIN PostgreSQL test server (written by scripts/pg_server.sh; the archive
# reaches the Java VM through QMR_JVM_OPTS)
[QmrPgU]
Driver = Quillmar Unicode
JdbcDriver = org.postgresql.Driver
URLString = jdbc:postgresql://127.0.0.1:$port/qmr
UID = qmr
PWD =

[QmrPgA]
Driver = Quillmar ANSI
JdbcDriver = org.postgresql.Driver
URLString = jdbc:postgresql://127.0.0.1:$port/qmr
UID = qmr
PWD =

[QmrPgXa]
Driver = Quillmar Unicode
JdbcDriver = org.postgresql.xa.PGXADataSource
URLString = URL=jdbc:postgresql://127.0.0.1:$port/qmr
UID = qmr
PWD =
# END PostgreSQL test server
EOF
  mv -f "$tmp" "$ini"
}

case "$cmd" in
start)
  ini=${3:-}
  # A server left by an earlier run that was killed goes first.
  stop_server
  rm -rf "$data" "$dir/port"
  mkdir -p "$data"
  if [ "$(id -u)" -eq 0 ]; then
    chown "$PGUSER_OS" "$data"
    if ! runuser -u "$PGUSER_OS" -- test -w "$data"; then
      # Some directory above the build tree is closed to other users.
      rm -rf "$data"
      data=$(mktemp -d "${TMPDIR:-/tmp}/qmr-pg.XXXXXX")
      chown "$PGUSER_OS" "$data"
      echo "pg_server: $dir is not reachable by $PGUSER_OS; data directory $data"
      ln -s "$data" "$dir/data"
    fi
  fi
  chmod 700 "$data"
  as_owner "$PGBIN/initdb" -D "$data" -U qmr --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }

  # The port is free when chosen and can be taken before the server binds it:
  # try a few.
  started=""
  for attempt in 1 2 3 4 5; do
    port=$(free_port)
    if as_owner "$PGBIN/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 \
         -o "-h 127.0.0.1 -p $port -k '' -c fsync=off -c max_connections=50 -c max_prepared_transactions=20" start \
         >/dev/null 2>&1; then
      started=$port
      break
    fi
  done
  if [ -z "$started" ]; then
    echo "pg_server: the server did not start; its log:" >&2
    cat "$data/server.log" >&2 || true
    exit 1
  fi
  "$PGBIN/psql" -h 127.0.0.1 -p "$port" -U qmr -d postgres -q -v ON_ERROR_STOP=1 \
    -c "CREATE DATABASE qmr" >/dev/null
  echo "$port" > "$dir/port"
  [ -n "$ini" ] && write_dsns "$ini" "$port"

  # The watchdog: stops the server when the starter has gone.
  starter=${QMR_PG_STARTER:-$PPID}
  (
    trap '' HUP
    while kill -0 "$starter" 2>/dev/null && [ -f "$data/postmaster.pid" ]; do sleep 2; done
    if [ -f "$data/postmaster.pid" ]; then
      as_owner "$PGBIN/pg_ctl" -D "$data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
    fi
  ) </dev/null >/dev/null 2>&1 &
  echo $! > "$dir/watchdog.pid"
  echo "PostgreSQL $("$PGBIN/postgres" --version | awk '{print $3}') on 127.0.0.1:$port," \
       "data directory $data"
  ;;
stop)
  stop_server
  # The data directory may be a link to one outside the build tree.
  if [ -L "$data" ]; then
    rm -rf "$(readlink "$data")"
  fi
  rm -rf "$data" "$dir/port"
  echo "PostgreSQL stopped"
  ;;
*)
  usage
  ;;
esac
