#!/bin/bash
# Builds the release with scripts/release.sh into a folder of its own and checks what a user
# gets: the checksums; the installed programs (a full read against the installed simulator);
# the ZIP's verlrock.exe under Wine, and its version resource; the DEB's contents, fields and
# programs (a full read again), and lintian; the man pages. Everything it starts or makes is removed at the end.
set -euo pipefail
source_dir=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/verlrock-release.XXXXXX")
version=$(sed -n 's/^project(verlrock VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
sim=
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  [ -d "$work/wine" ] && "$source_dir/tests/e2e/wine_prefix.sh" cleanup "$work/wine"
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
step() {
  echo "== $*"
}

step "the version is one: CMake's, the changelog's and the man pages'"
[ -n "$version" ] || fail "no version in project()"
head -n 1 "$source_dir/packaging/changelog" | grep -qF "verlrock ($version) " ||
  fail "packaging/changelog does not begin with version $version"
for page in verlrock.1 verlrock-unitsim.1; do
  grep -q "^\.TH .*\"verlrock $version\"" "$source_dir/docs/$page" || fail "docs/$page is not $version"
done

step "release.sh builds both packages and their checksums"
timeout 600 "$source_dir/scripts/release.sh" "$work/dist" >"$work/release.log" 2>&1 ||
  { cat "$work/release.log"; fail "scripts/release.sh"; }
zip=$work/dist/verlrock-$version-win64.zip
deb=$work/dist/verlrock_${version}_amd64.deb
[ -f "$zip" ] && [ -f "$deb" ] || fail "the packages are not named with version $version"
(cd "$work/dist" && sha256sum -c SHA256SUMS) || fail "sha256sum -c SHA256SUMS"
[ "$(wc -l <"$work/dist/SHA256SUMS")" -eq 2 ] || fail "SHA256SUMS does not list both packages"

# Starts the simulator ($1) on a pseudo-terminal; sets $sim and $pty.
start_unit() {
  "$1" --com 7 --idle-limit 60000 --save "$work/unit.bin" >"$work/unit.out" 2>"$work/unit.err" &
  sim=$!
  for _ in $(seq 100); do
    [ -s "$work/unit.out" ] && break
    sleep 0.1
  done
  pty=$(sed -n '1s/^COM7=//p' "$work/unit.out")
  [ -n "$pty" ] || fail "the simulator gave no line: $(cat "$work/unit.err")"
}

stop_unit() {
  kill "$sim"
  wait "$sim" || fail "the simulator saw a faulty request"
  sim=
}

# A full read by the command "$@" (the port number and the rest are added) into $work/$name.
full_read() {
  local name=$1
  shift
  local status=0
  (cd "$work" && timeout 120 "$@" 7 "$name" read </dev/null >"$work/read.out" 2>&1) || status=$?
  [ "$status" -eq 0 ] || fail "read with $* ended with $status: $(cat "$work/read.out")"
}

expect_version() {
  local out
  out=$(timeout 60 "$@" --version </dev/null)
  [ "$out" = "verlrock $version" ] || fail "$* --version printed '$out'"
}

step "cmake --install into a temporary prefix"
cmake --install "$source_dir/build/release" --prefix "$work/prefix" >/dev/null
for file in bin/verlrock bin/verlrock-unitsim share/doc/verlrock/README.md \
  share/doc/verlrock/LICENSE share/man/man1/verlrock.1.gz; do
  [ -f "$work/prefix/$file" ] || fail "cmake --install left out $file"
done
expect_version "$work/prefix/bin/verlrock"
start_unit "$work/prefix/bin/verlrock-unitsim"
COM7=$pty full_read installed.bin "$work/prefix/bin/verlrock"
stop_unit
cmp "$work/installed.bin" "$work/unit.bin" || fail "the installed tool read other bytes"

step "the ZIP: flat, its version resource, and its verlrock.exe under Wine"
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
[ "$(cd "$work/zip" && ls | sort | tr '\n' ' ')" = "LICENSE README.md verlrock.exe " ] ||
  fail "the ZIP holds: $(cd "$work/zip" && find . | tr '\n' ' ')"
x86_64-w64-mingw32-windres -i "$work/zip/verlrock.exe" -O rc >"$work/resource.rc"
IFS=. read -r major minor patch <<<"$version"
for expected in "FILEVERSION $major, $minor, $patch, 0" "PRODUCTVERSION $major, $minor, $patch, 0" \
  "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
  "VALUE \"ProductName\", \"verlrock\"" "VALUE \"FileDescription\"" "VALUE \"LegalCopyright\""; do
  grep -qF "$expected" "$work/resource.rc" || fail "the version resource lacks $expected"
done
"$source_dir/tests/e2e/wine_prefix.sh" setup "$work/wine"
export WINEPREFIX=$work/wine/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
expect_version wine "$work/zip/verlrock.exe"
start_unit "$work/prefix/bin/verlrock-unitsim"
ln -sfn "$pty" "$work/wine/com7"
full_read zipped.bin wine "$work/zip/verlrock.exe"
stop_unit
cmp "$work/zipped.bin" "$work/unit.bin" || fail "verlrock.exe read other bytes"

step "the DEB: its fields, its files, its programs, and lintian"
field() {
  dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = verlrock ] && [ "$(field Version)" = "$version" ] &&
  [ "$(field Section)" = utils ] || fail "the DEB's Package, Version or Section"
field Depends | grep -q '^libc6 (>= ' || fail "no dependencies worked out: $(field Depends)"
field Maintainer | grep -q 'verlrock project <.*@.*>' || fail "maintainer: $(field Maintainer)"
[ "$(field Description | wc -l)" -gt 2 ] || fail "a one-line description"
dpkg-deb -x "$deb" "$work/deb"
for file in usr/bin/verlrock usr/bin/verlrock-unitsim usr/share/man/man1/verlrock.1.gz \
  usr/share/doc/verlrock/copyright usr/share/doc/verlrock/changelog.gz; do
  [ -f "$work/deb/$file" ] || fail "the DEB lacks $file"
done
for program in verlrock verlrock-unitsim; do
  file "$work/deb/usr/bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
done
for packed in usr/share/man/man1/verlrock.1.gz usr/share/doc/verlrock/changelog.gz; do
  # gzip -n leaves the name and the time stamp (bytes 4 to 7) out.
  [ "$(od -An -tx1 -j3 -N5 "$work/deb/$packed" | tr -d ' ')" = 0000000000 ] ||
    fail "$packed has a name or a time stamp"
done
expect_version "$work/deb/usr/bin/verlrock"
start_unit "$work/deb/usr/bin/verlrock-unitsim"
COM7=$pty full_read unpacked.bin "$work/deb/usr/bin/verlrock"
stop_unit
cmp "$work/unpacked.bin" "$work/unit.bin" || fail "the DEB's tool read other bytes"
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log"; fail "lintian"; }
grep -E '^[EW]: ' "$work/lintian.log" && fail "lintian reported the tags above"

step "the man pages render without a warning"
for page in verlrock.1 verlrock-unitsim.1; do
  warnings=$(groff -man -ww -z "$source_dir/docs/$page" 2>&1)
  [ -z "$warnings" ] || fail "groff on $page: $warnings"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$source_dir/docs/$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man on $page: $warnings"
done
echo "the release checks passed"
