#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs:
# the expected files, a valid menu entry, a program that starts from there and
# keeps its files under $XDG_CONFIG_HOME/corvane, and an uninstall that
# removes exactly what was installed.
# Usage: scripts/check-install.sh [build folder]
set -euo pipefail

build=${1:-build}
work=$(mktemp -d)
manifest=$build/install_manifest.txt
# The manifest of a real "make install" is kept, so "make uninstall" still works.
[[ -f "$manifest" ]] && cp "$manifest" "$work/manifest.kept"
restore() {
    if [[ -f "$work/manifest.kept" ]]; then cp "$work/manifest.kept" "$manifest"; else rm -f "$manifest"; fi
    rm -rf "$work"
}
trap restore EXIT
prefix=$work/prefix

fail() {
    echo "check-install: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null

expected="bin/corvane
share/applications/corvane.desktop
share/corvane/corvane-help.html
share/doc/corvane/changelog.gz
share/doc/corvane/copyright
share/man/man1/corvane.1.gz"
for size in 16 22 24 32 48 64 128 256; do
    expected+=$'\n'"share/icons/hicolor/${size}x${size}/apps/corvane.png"
done
expected+=$'\n'"share/icons/hicolor/scalable/apps/corvane.svg"
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
[[ "$installed" == "$(sort <<<"$expected")" ]] ||
    fail "installed files differ from the expected ones:"$'\n'"$(diff <(sort <<<"$expected") <(echo "$installed"))"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/corvane.desktop" || fail "the menu entry is not valid"
else
    echo "check-install: desktop-file-validate missing (package desktop-file-utils); entry not validated"
fi

# The installed program starts and stays up, its files in the XDG folder.
home=$work/home
mkdir -p "$home"
HOME=$home XDG_CONFIG_HOME=$home/config QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
    "$prefix/bin/corvane" >"$work/out" 2>&1 &
program=$!
sleep 3
kill -0 "$program" 2>/dev/null || fail "the installed program did not stay up: $(cat "$work/out")"
kill "$program"
wait "$program" 2>/dev/null || true
[[ -d "$home/config/corvane" ]] || fail "no program folder under \$XDG_CONFIG_HOME/corvane"
[[ "$(ls -A "$prefix/bin")" == corvane ]] || fail "the program wrote into its bin folder: $(ls -A "$prefix/bin")"

# Uninstall, as make uninstall does it, leaves no file behind.
xargs -d '\n' rm -f -- <"$manifest"
left=$(find "$prefix" -type f)
[[ -z "$left" ]] || fail "files left after uninstall: $left"
echo "check-install: ok"
