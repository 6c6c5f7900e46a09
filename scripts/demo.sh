#!/bin/sh
# make demo: from a fresh Debian machine to rows coming back through isql.
# Installs what is missing, builds both drivers, registers them in a private
# unixODBC configuration under the build directory, and runs isql against
# HSQLDB in memory inside the driver's own Java VM.
set -eu

cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${BUILD:-build}
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
JOBS=${JOBS:-$(nproc)}
ODBC_DIR=$BUILD/odbc
HSQLDB_JAR=/usr/share/java/hsqldb.jar

step() { printf '\n==> %s\n' "$*"; }

step "Installing the Debian packages that are missing (scripts/install-deps.sh)"
./scripts/install-deps.sh
echo "all packages present"

step "Building libxbifxu.so (Unicode) and libxbifx.so (ANSI) in $BUILD"
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" -j "$JOBS" --target xbifxu xbifx
ls -l "$BUILD/lib/libxbifxu.so" "$BUILD/lib/libxbifx.so"

# The build writes the private configuration: both drivers by absolute path
# in odbcinst.ini, data sources on HSQLDB in memory in odbc.ini.
export ODBCSYSINI="$ODBC_DIR"
export ODBCINI="$ODBC_DIR/odbc.ini"
export QMR_JVM_OPTS="-Djava.class.path=$HSQLDB_JAR"
export LANG=C.UTF-8

step "Drivers registered in $ODBC_DIR/odbcinst.ini"
odbcinst -q -d
sed -n '/^\[Quillmar/,/^$/p' "$ODBC_DIR/odbcinst.ini"

step "Data sources in $ODBC_DIR/odbc.ini (HSQLDB in memory, in the driver's Java VM)"
sed -n '/^\[QmrHsqlU\]/,/^$/p;/^\[QmrHsqlA\]/,/^$/p' "$ODBC_DIR/odbc.ini"

SQL="CREATE TABLE demo (id INTEGER PRIMARY KEY, name VARCHAR(30), price DECIMAL(8,2), added DATE)
INSERT INTO demo VALUES (1, 'tea', 3.50, DATE '2024-01-15')
INSERT INTO demo VALUES (2, 'coffee', 4.25, DATE '2024-02-29')
INSERT INTO demo VALUES (3, 'water', NULL, DATE '2024-03-01')
SELECT id, name, price, added FROM demo ORDER BY id
SELECT COUNT(*) AS how_many, SUM(price) AS total FROM demo"

# isql prints a line for each step; a driver error shows as [ISQL]ERROR or a
# bracketed SQLSTATE, and the demo stops there.
run_isql() {
  tool=$1 dsn=$2
  step "$tool -v $dsn  (each line below is one statement typed at the SQL> prompt)"
  printf '%s\n' "$SQL" | sed 's/^/    /'
  out=$(mktemp)
  status=0
  printf '%s\n' "$SQL" | timeout 120 "$tool" -v -b "$dsn" >"$out" 2>&1 || status=$?
  echo "--- output:"
  grep -v '^$' "$out" | head -c 20000
  if [ "$status" -ne 0 ] || grep -q -e '\[ISQL\]ERROR' -e '^\[[0-9A-Z]\{5\}\]' "$out" ||
     ! grep -q 'coffee' "$out"; then
    rm -f "$out"
    echo "demo: $tool on $dsn failed (exit status $status)" >&2
    exit 1
  fi
  rm -f "$out"
}

run_isql isql QmrHsqlA    # 8-bit calls: the ANSI build
run_isql iusql QmrHsqlU   # UTF-16 calls: the Unicode build

step "Try it yourself"
cat <<EOF
  ODBCSYSINI=$ODBC_DIR ODBCINI=$ODBC_DIR/odbc.ini \\
  QMR_JVM_OPTS=-Djava.class.path=$HSQLDB_JAR \\
  isql -v QmrHsqlU

(iusql for the UTF-16 calls; QmrHsqlA for the ANSI build. The database lives
in memory for as long as isql runs.)
EOF
