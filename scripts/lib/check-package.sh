#!/usr/bin/env bash
# check-package.sh PACKAGE: lists the package's contents and fails unless
#   - it holds exactly the service's files, its configuration is a conffile,
#     and the top entry of its changelog is the package's version;
#   - lintian reports no error and no warning (overrides, each with its
#     reason, are in cmake/debian/lintian-overrides);
#   - the binary has Debian's hardening: PIE, stack protector, fortify
#     functions, full RELRO with immediate binding (hardening-check);
#   - every installed command has a compressed manual page that man reads
#     without a warning;
#   - where systemd-analyze is installed, its unit verifies and its sandbox
#     exposure is at most 2.0.
# Needs no running systemd.
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
expected="$(printf '%s\n' ./etc/marovane/marovane.json ./usr/bin/marovane ./usr/bin/marovane-ctl \
    ./usr/lib/systemd/system/marovane.service \
    ./usr/share/doc/marovane/README.md ./usr/share/doc/marovane/operations.md \
    ./usr/share/doc/marovane/copyright ./usr/share/doc/marovane/changelog.gz \
    ./usr/share/man/man8/marovane.8.gz ./usr/share/man/man1/marovane-ctl.1.gz \
    ./usr/share/lintian/overrides/marovane \
    ./usr/share/marovane/monitoring/marovane.rules.yml \
    ./usr/share/marovane/monitoring/marovane.rules.test.yml \
    ./usr/share/marovane/monitoring/marovane-dashboard.json | sort)"
[ "$files" = "$expected" ] || fail "unexpected contents; expected:"$'\n'"$expected"
grep -q 'marovane-platform-sim' <<<"$contents" && fail "the simulator must not be in the package"
dpkg-deb -I "$package" conffiles | grep -qx '/etc/marovane/marovane.json' ||
    fail "/etc/marovane/marovane.json is not a conffile"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$package" "$tmp"
unit="$tmp/usr/lib/systemd/system/marovane.service"
grep -q '^ExecStart=/usr/bin/marovane ' "$unit" || fail "the unit does not start /usr/bin/marovane"
version="$(dpkg-deb -f "$package" Version)"
gzip -dc "$tmp/usr/share/doc/marovane/changelog.gz" >"$tmp/changelog"
changelog_version="$(dpkg-parsechangelog -l "$tmp/changelog" -S Version)"
[ "$changelog_version" = "$version" ] ||
    fail "the changelog's top entry is $changelog_version, the package is $version: add an entry to cmake/debian/changelog"

echo "== lintian" >&2
# lintian complains about being run as root, which CI is; that line is not a tag.
lintian_output="$(lintian --fail-on error,warning "$package" 2>&1)" || {
    echo "$lintian_output" >&2
    fail "lintian reports errors or warnings"
}
grep -v 'running with root privileges is not recommended' <<<"$lintian_output" >&2 || true

echo "== hardening-check" >&2
# Control flow protection (CET) is not asked for: no Debian 12 binary can
# have it, as the C library's start-up files lack it.
for binary in "$tmp"/usr/bin/*; do
    hardening-check --nocfprotection "$binary" >&2 ||
        fail "$(basename "$binary") lacks some of Debian's hardening"
done

echo "== manual pages" >&2
for command in "$tmp"/usr/bin/* "$tmp"/usr/sbin/*; do
    [ -e "$command" ] || continue
    name="$(basename "$command")"
    page="$(ls "$tmp"/usr/share/man/man[18]/"$name".[18].gz 2>/dev/null | head -n 1)"
    [ -n "$page" ] || fail "no manual page for $name in section 1 or 8"
    warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "man warns about $page: $warnings"
    echo "$name: $(basename "$page")" >&2
done

if ! command -v systemd-analyze >/dev/null; then
    echo "check-package: systemd-analyze not installed, unit not verified" >&2
    exit 0
fi
# Verified on this host with the binary and the manual page the package
# holds: the unit's commands and documentation must exist, and any warning
# (an unknown key, say) fails the check.
echo "== systemd-analyze verify" >&2
mkdir "$tmp/unit"
sed "s#/usr/bin/marovane#$tmp/usr/bin/marovane#g" "$unit" >"$tmp/unit/marovane.service"
verify_output="$(MANPATH="$tmp/usr/share/man" systemd-analyze verify "$tmp/unit/marovane.service" 2>&1)" ||
    fail "systemd-analyze verify failed: $verify_output"
[ -z "$verify_output" ] || fail "systemd-analyze verify warns: $verify_output"
echo "== systemd-analyze security --offline=true" >&2
security="$(systemd-analyze security --offline=true "$unit" 2>&1 | tail -n 1)"
echo "$security" >&2
exposure="$(grep -o 'exposure level for [^:]*: [0-9.]*' <<<"$security" | awk '{print $NF}')"
[ -n "$exposure" ] || fail "no exposure figure from systemd-analyze security"
awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' || fail "exposure $exposure is above 2.0"
echo "check-package: OK (exposure $exposure)" >&2
