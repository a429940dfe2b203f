# Sourced by the bench server scripts: unpack_packages RUN_DIR PACKAGE...
# fetches each Debian package with `apt-get download` (into
# CORVANE_BENCH_CACHE, or RUN_DIR/debs) unless it is there already, and
# unpacks it under RUN_DIR/pkg, without installing it. The caller defines fail.
unpack_packages() {
    local run_dir=$1 package debs
    shift
    command -v apt-get >/dev/null || fail "$1 is not installed and there is no apt-get to fetch it"
    local cache=${CORVANE_BENCH_CACHE:-$run_dir/debs}
    mkdir -p "$cache" "$run_dir/pkg"
    for package in "$@"; do
        debs=("$cache/${package}"_*.deb)
        if [[ ! -e ${debs[0]} ]]; then
            if ! (cd "$cache" && apt-get download -q "$package") >"$run_dir/apt.log" 2>&1; then
                fail "apt-get download $package failed (run apt-get update?):" \
                    "$(grep -v '^W:' "$run_dir/apt.log" | tail -n 1)"
            fi
            debs=("$cache/${package}"_*.deb)
        fi
        dpkg -x "${debs[-1]}" "$run_dir/pkg" || fail "cannot unpack ${debs[-1]}"
        echo "info: unpacked $(basename "${debs[-1]}")"
    done
}
