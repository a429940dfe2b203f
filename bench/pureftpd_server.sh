#!/usr/bin/env bash
# Runs Debian's pure-ftpd in the foreground on 127.0.0.1 for transfer_bench.
#
#   pureftpd_server.sh RUN_DIR PORT ROOT USER PASSWORD
#
# Debian's FTP server packages exclude one another, so unless pure-ftpd is
# installed its packages are fetched with `apt-get download` and unpacked
# under RUN_DIR (CORVANE_BENCH_CACHE keeps them between runs). One virtual
# user (USER, PASSWORD) is let in, mapped to the system's "nobody", with ROOT
# as its chrooted home; ROOT is made writable for it. Listings are not cut at
# 2,000 entries (-L).
#
# Prints "info: ..." lines, then becomes the server (stop it with SIGTERM);
# prints "error: ..." and exits 2 when the server cannot be had.
set -euo pipefail

if (($# != 5)); then
    echo "error: usage: $0 RUN_DIR PORT ROOT USER PASSWORD"
    exit 2
fi
run_dir=$1
port=$2
root=$3
user=$4
password=$5

fail() {
    echo "error: $*"
    exit 2
}
# shellcheck source=unpack_packages.sh
source "$(dirname "${BASH_SOURCE[0]}")/unpack_packages.sh"

server=/usr/sbin/pure-ftpd
pw=/usr/bin/pure-pw
if [[ -x $server && -x $pw ]]; then
    echo "info: installed $server"
else
    unpack_packages "$run_dir" pure-ftpd pure-ftpd-common
    unpacked=$run_dir/pkg
    server=$unpacked/usr/sbin/pure-ftpd
    pw=$unpacked/usr/bin/pure-pw
    [[ -x $server && -x $pw ]] || fail "the pure-ftpd packages hold no pure-ftpd or pure-pw"
fi

nobody_uid=$(id -u nobody) || fail "no user nobody"
nobody_gid=$(id -g nobody)
chmod 0777 "$root"
passwd=$run_dir/pureftpd.passwd
rm -f "$passwd" "$passwd.pdb"
# pure-pw would hash with argon2 at a cost of about a second of the server's
# time per login, which a client that logs in for each transfer would pay in
# its figures; a SHA-512 crypt hash costs milliseconds.
hash=$(openssl passwd -6 "$password") || fail "openssl passwd failed (Debian package openssl)"
echo "$user:$hash:$nobody_uid:$nobody_gid::$root/./::::::::::::" >"$passwd"
"$pw" mkdb "$passwd.pdb" -f "$passwd" || fail "pure-pw mkdb failed"
# -E no anonymous, -H no name look-ups, -A chroot everyone, -p passive ports.
exec "$server" -S "127.0.0.1,$port" -l "puredb:$passwd.pdb" -E -H -A -L 100000:100 \
    -p 30000:39999
