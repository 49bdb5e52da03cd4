#!/usr/bin/env bash
# A private PostgreSQL server for the tests labelled "postgres". Source this file, then:
#   sorvix_postgres_start   initdb a cluster in a temporary folder, start it on a free loopback
#                           port (as the postgres user when run as root), create a test user and
#                           database, and export SORVIX_PG_HOST, SORVIX_PG_PORT, SORVIX_PG_DB,
#                           SORVIX_PG_USER and SORVIX_PG_PASSWORD;
#   sorvix_postgres_stop    stop the server and remove its folder.
# Both return non-zero on failure and never end the calling shell.

sorvix_postgres_start() {
  local bindir
  bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    echo "postgres: no server binaries under /usr/lib/postgresql" >&2
    return 1
  fi

  SORVIX_PG_DIR=$(mktemp -d /tmp/sorvix-pg.XXXXXX) || return 1
  export SORVIX_PG_DIR
  local -a as_owner=()
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres:postgres "$SORVIX_PG_DIR" || return 1
    as_owner=(runuser -u postgres --)
  fi

  local password
  password="pw$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')"
  printf '%s\n' "$password" >"$SORVIX_PG_DIR/superpw" || return 1
  [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$SORVIX_PG_DIR/superpw"
  if ! "${as_owner[@]}" "$bindir/initdb" -D "$SORVIX_PG_DIR/data" -U postgres --pwfile="$SORVIX_PG_DIR/superpw" \
      --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$SORVIX_PG_DIR/initdb.log" 2>&1; then
    echo "postgres: initdb failed:" >&2
    cat "$SORVIX_PG_DIR/initdb.log" >&2
    sorvix_postgres_stop
    return 1
  fi

  # A free port: try a few at random; the server refuses one that is taken.
  local port started=0 try
  for try in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + (RANDOM % 30000)))
    if "${as_owner[@]}" "$bindir/pg_ctl" -D "$SORVIX_PG_DIR/data" -l "$SORVIX_PG_DIR/server.log" -w -t 30 \
        -o "-c listen_addresses=127.0.0.1 -p $port -k $SORVIX_PG_DIR -c fsync=off -c max_connections=200" \
        start >/dev/null 2>&1; then
      started=1
      break
    fi
  done
  if [ "$started" -ne 1 ]; then
    echo "postgres: the server did not start:" >&2
    tail -n 20 "$SORVIX_PG_DIR/server.log" >&2 2>/dev/null
    sorvix_postgres_stop
    return 1
  fi
  SORVIX_PG_BIN=$bindir
  export SORVIX_PG_BIN

  local user=sorvix_test db=sorvix_test userpw
  userpw="pw$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')"
  if ! "${as_owner[@]}" "$bindir/psql" -h "$SORVIX_PG_DIR" -p "$port" -U postgres -d postgres -v ON_ERROR_STOP=1 -q \
      -c "CREATE ROLE $user LOGIN PASSWORD '$userpw'" -c "CREATE DATABASE $db OWNER $user" >/dev/null 2>"$SORVIX_PG_DIR/psql.log"; then
    echo "postgres: could not create the test user and database:" >&2
    cat "$SORVIX_PG_DIR/psql.log" >&2
    sorvix_postgres_stop
    return 1
  fi

  export SORVIX_PG_HOST=127.0.0.1 SORVIX_PG_PORT=$port SORVIX_PG_DB=$db SORVIX_PG_USER=$user SORVIX_PG_PASSWORD=$userpw
  echo "postgres: test server on 127.0.0.1:$port (database $db)"
}

sorvix_postgres_stop() {
  if [ -n "${SORVIX_PG_DIR:-}" ] && [ -d "$SORVIX_PG_DIR" ]; then
    if [ -f "$SORVIX_PG_DIR/data/postmaster.pid" ]; then
      local -a as_owner=()
      [ "$(id -u)" -eq 0 ] && as_owner=(runuser -u postgres --)
      local bindir=${SORVIX_PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)}
      "${as_owner[@]}" "$bindir/pg_ctl" -D "$SORVIX_PG_DIR/data" -m fast -w -t 30 stop >/dev/null 2>&1 ||
        "${as_owner[@]}" "$bindir/pg_ctl" -D "$SORVIX_PG_DIR/data" -m immediate -w stop >/dev/null 2>&1
    fi
    rm -rf "$SORVIX_PG_DIR"
  fi
  unset SORVIX_PG_DIR SORVIX_PG_BIN
  unset SORVIX_PG_HOST SORVIX_PG_PORT SORVIX_PG_DB SORVIX_PG_USER SORVIX_PG_PASSWORD
  return 0
}
