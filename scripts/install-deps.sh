#!/bin/sh
# Installs the Debian packages the build and the tests need, and only those
# that are missing, so a second run costs one dpkg query.
set -eu

PACKAGES="
  cmake make g++ pkg-config
  googletest libgtest-dev libgmock-dev
  unixodbc unixodbc-dev odbcinst python3-pyodbc
  flex bison
  clang libclang-rt-14-dev clang-format-14
  openjdk-17-jdk-headless
  libhsqldb-java
  postgresql libpostgresql-jdbc-java
  libh2-java libderby-java
"

missing=""
for p in $PACKAGES; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done

[ -z "$missing" ] && exit 0

echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y --no-install-recommends $missing; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends $missing
fi
