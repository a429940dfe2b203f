#!/usr/bin/env bash
# Runs Debian's vsftpd in the foreground on 127.0.0.1 for transfer_bench.
#
#   vsftpd_server.sh RUN_DIR PORT ROOT
#
# Installing vsftpd would start a system service and remove any other FTP
# server package, so unless it is installed already its package (and libwrap0
# when the system lacks that library) is fetched with `apt-get download` and
# unpacked under RUN_DIR. Set CORVANE_BENCH_CACHE to a folder to keep the
# fetched packages between runs.
#
# Prints "info: ..." lines, then becomes the server (stop it with SIGTERM);
# prints "error: ..." and exits 2 when the server cannot be had.
set -euo pipefail

if (($# != 3)); then
    echo "error: usage: $0 RUN_DIR PORT ROOT"
    exit 2
fi
run_dir=$1
port=$2
root=$3

fail() {
    echo "error: $*"
    exit 2
}
# shellcheck source=unpack_packages.sh
source "$(dirname "${BASH_SOURCE[0]}")/unpack_packages.sh"

binary=/usr/sbin/vsftpd
libs=""
if [[ -x $binary ]]; then
    echo "info: installed $binary"
else
    wanted=(vsftpd)
    ldconfig -p | grep -q 'libwrap\.so\.0 ' || wanted+=(libwrap0)
    unpack_packages "$run_dir" "${wanted[@]}"
    unpacked=$run_dir/pkg
    binary=$unpacked/usr/sbin/vsftpd
    [[ -x $binary ]] || fail "the vsftpd package holds no usr/sbin/vsftpd"
    libs=$(find "$unpacked" -name 'libwrap.so.0' -printf '%h' -quit)
fi

mkdir -p "$run_dir/empty"
# Sessions run as the user who started the server (root here): no PAM, no
# local account and no chroot are needed, though the two user names must
# exist. Anonymous login with any password; the server listens on loopback
# only and lives as long as the benchmark.
cat >"$run_dir/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
run_as_launching_user=YES
anonymous_enable=YES
local_enable=NO
anon_root=$root
ftp_username=nobody
nopriv_user=nobody
write_enable=YES
anon_upload_enable=YES
anon_other_write_enable=YES
anon_umask=022
pasv_enable=YES
pasv_address=127.0.0.1
connect_from_port_20=NO
secure_chroot_dir=$run_dir/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
tcp_wrappers=NO
xferlog_enable=NO
dirmessage_enable=NO
EOF

echo "info: starting $binary on 127.0.0.1:$port"
if [[ -n $libs ]]; then
    export LD_LIBRARY_PATH=$libs${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
fi
exec "$binary" "$run_dir/vsftpd.conf"
