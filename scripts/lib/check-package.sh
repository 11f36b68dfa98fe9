#!/usr/bin/env bash
# check-package.sh PACKAGE: lists the package's contents and fails unless it
# holds exactly the service's files, its configuration is a conffile, and
# (where systemd-analyze is installed) its unit verifies and its sandbox
# exposure is at most 2.0. Needs no running systemd.
set -euo pipefail
package="$1"
fail() {
    echo "check-package: $*" >&2
    exit 1
}

echo "== dpkg-deb -c $package" >&2
contents="$(dpkg-deb -c "$package")"
echo "$contents" >&2
files="$(awk '$1 !~ /^d/ {print $6}' <<<"$contents" | sort)"
expected="$(printf '%s\n' ./etc/marovane/marovane.json ./usr/bin/marovane \
    ./usr/lib/systemd/system/marovane.service ./usr/share/doc/marovane/README.md | sort)"
[ "$files" = "$expected" ] || fail "unexpected contents; expected:"$'\n'"$expected"
grep -q 'marovane-platform-sim' <<<"$contents" && fail "the simulator must not be in the package"
dpkg-deb -I "$package" conffiles | grep -qx '/etc/marovane/marovane.json' ||
    fail "/etc/marovane/marovane.json is not a conffile"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$package" "$tmp"
unit="$tmp/usr/lib/systemd/system/marovane.service"
grep -q '^ExecStart=/usr/bin/marovane ' "$unit" || fail "the unit does not start /usr/bin/marovane"

if ! command -v systemd-analyze >/dev/null; then
    echo "check-package: systemd-analyze not installed, unit not verified" >&2
    exit 0
fi
# Verified on this host with the binary the package holds: the unit's
# commands must exist, and any warning (an unknown key, say) fails the check.
echo "== systemd-analyze verify" >&2
mkdir "$tmp/unit"
sed "s#/usr/bin/marovane#$tmp/usr/bin/marovane#g" "$unit" >"$tmp/unit/marovane.service"
verify_output="$(systemd-analyze verify "$tmp/unit/marovane.service" 2>&1)" ||
    fail "systemd-analyze verify failed: $verify_output"
[ -z "$verify_output" ] || fail "systemd-analyze verify warns: $verify_output"
echo "== systemd-analyze security --offline=true" >&2
security="$(systemd-analyze security --offline=true "$unit" 2>&1 | tail -n 1)"
echo "$security" >&2
exposure="$(grep -o 'exposure level for [^:]*: [0-9.]*' <<<"$security" | awk '{print $NF}')"
[ -n "$exposure" ] || fail "no exposure figure from systemd-analyze security"
awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' || fail "exposure $exposure is above 2.0"
echo "check-package: OK (exposure $exposure)" >&2
