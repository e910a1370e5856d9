#!/usr/bin/env bash
# Tests of how tools/bootstrap.sh installs packages from a mirror caught in the middle
# of a sync, with the real apt-get against a repository this test makes on disk:
# two suites (the release and its security updates), two architectures, the security
# suite's i386 list cut short after its Release file was written, and one library at
# a newer version there for amd64 only. apt's lists, cache and status file live in a
# temporary folder and apt only simulates (APT_CONFIG), so nothing on this machine
# changes and no network is used.
#
#   bootstrap_mirror_test.sh PATH/TO/bootstrap.sh
set -uo pipefail

bootstrap=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$(dirname "$0")/shell_checks.sh"
sandbox=$(mktemp -d)
trap "${KEEP:+: }rm -rf \"$sandbox\"" EXIT
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
repo=$sandbox/repo

# package NAME VERSION ARCH [FIELD...]: one stanza of a Packages list, with its own
# fields ("Depends: ...") after the standard ones.
package() {
  local name=$1_$2_$3
  printf 'Package: %s\nVersion: %s\nArchitecture: %s\n' "$1" "$2" "$3"
  shift 3
  [ $# -eq 0 ] || printf '%s\n' "$@"
  printf 'Maintainer: test <test@invalid>\nFilename: pool/%s.deb\nSize: 1\nSHA256: %064d\nDescription: test\n\n' "$name" 0
}

# release SUITE: the suite's Release file, listing the Packages lists written before it.
release() {
  local dir=$repo/dists/$1 list
  {
    printf 'Origin: Debian\nLabel: Debian\nSuite: %s\nCodename: %s\nArchitectures: amd64 i386\nComponents: main\nSHA256:\n' "$1" "$1"
    for list in "$dir"/main/binary-*/Packages; do
      printf ' %s %s %s\n' "$(sha256sum <"$list" | cut -d' ' -f1)" "$(stat -c %s "$list")" "${list#"$dir"/}"
    done
  } >"$dir/Release"
}

# The library is Multi-Arch: same, so its amd64 and i386 copies must have one version;
# the tool's security update needs the library's.
make_repository() {
  local main=$repo/dists/$codename/main security=$repo/dists/$codename-security/main
  mkdir -p "$main/binary-amd64" "$main/binary-i386" "$security/binary-amd64" "$security/binary-i386"
  { package qzt-lib 1.0 amd64 "Multi-Arch: same"
    package qzt-tool 1.0 amd64 "Depends: qzt-lib (= 1.0)"
    package qzt-old 1.0 amd64; } >"$main/binary-amd64/Packages"
  { package qzt-lib 1.0 i386 "Multi-Arch: same"
    package qzt-app32 1.0 i386 "Depends: qzt-lib"
    package qzt-rival32 1.0 i386 "Conflicts: qzt-old"; } >"$main/binary-i386/Packages"
  { package qzt-lib 1.0+sec1 amd64 "Multi-Arch: same"
    package qzt-tool 1.0+sec1 amd64 "Depends: qzt-lib (= 1.0+sec1)"; } >"$security/binary-amd64/Packages"
  package qzt-lib 1.0+sec1 i386 "Multi-Arch: same" >"$security/binary-i386/Packages"
  release "$codename"
  release "$codename-security"
}

# apt's configuration: everything in the sandbox, simulation only. $1 the architectures.
apt_config() {
  cat <<CONF
Dir::State "$sandbox/state";
Dir::State::status "$sandbox/state/status";
Dir::Cache "$sandbox/cache";
Dir::Etc::SourceList "$sandbox/sources.list";
Dir::Etc::SourceParts "$sandbox/empty";
Dir::Etc::Preferences "$sandbox/empty/preferences";
Dir::Etc::PreferencesParts "$sandbox/empty";
APT::Architectures { $1 };
APT::Get::Simulate "true";
APT::Sandbox::User "root";
Debug::NoLocking "true";
CONF
}

# The machine before bootstrap: lists of amd64 alone, fetched while the mirror was
# whole, and the library installed at the release's version. Then the mirror is caught
# mid-sync: the security suite's i386 list is shorter than its Release file says.
make_machine() {
  mkdir -p "$sandbox/state/lists/partial" "$sandbox/cache/archives/partial" "$sandbox/empty" "$sandbox/bin"
  printf 'deb [trusted=yes] file:%s %s main\ndeb [trusted=yes] file:%s %s-security main\n' \
    "$repo" "$codename" "$repo" "$codename" >"$sandbox/sources.list"
  apt_config '"amd64";' >"$sandbox/apt-amd64.conf"
  apt_config '"amd64"; "i386";' >"$sandbox/apt.conf"
  APT_CONFIG=$sandbox/apt-amd64.conf apt-get -q update >"$sandbox/first-update" 2>&1 \
    || { echo "could not set up the test's lists:"; cat "$sandbox/first-update"; exit 1; }
  { package qzt-lib 1.0 amd64 "Multi-Arch: same" "Status: install ok installed"
    package qzt-old 1.0 amd64 "Status: install ok installed"; } >"$sandbox/state/status"
  truncate -s 40 "$repo/dists/$codename-security/main/binary-i386/Packages"
  # dpkg answers only which architectures are enabled; anything else would change the
  # machine and is refused, and recorded.
  printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && { echo i386; exit 0; }\necho "dpkg $*" >>%s/dpkg-calls; exit 1\n' \
    "$sandbox" >"$sandbox/bin/dpkg"
  printf '#!/bin/sh\nexec "$@"\n' >"$sandbox/bin/sudo"
  chmod +x "$sandbox/bin/dpkg" "$sandbox/bin/sudo"
}

# install NAME PACKAGES...: bootstrap's package step asked for these packages.
install() {
  case_name=$1
  shift
  APT_CONFIG=$sandbox/apt.conf QZ_PACKAGES="$*" PATH="$sandbox/bin:$PATH" \
    "$bootstrap" packages >"$sandbox/out" 2>"$sandbox/err"
  status=$?
  out=$(cat "$sandbox/out")
  err=$(cat "$sandbox/err")
  calls=$(cat "$sandbox/dpkg-calls" 2>/dev/null)
}

make_repository
make_machine

# The mirror fault: the update warns and goes on, the install fails on the library's
# two versions and resolves preferring the release's suite.
install mid-sync qzt-tool qzt-app32:i386
check "succeeds" [ "$status" -eq 0 ]
check "warns that a list failed, naming it" \
  has "$err" "warning: apt-get update could not fetch every package list; going on with the lists apt has. Lists that failed:
  file:$repo $codename-security/main i386 Packages"
check "the first try fails as apt resolves" has "$out" "qzt-app32:i386 : Depends: qzt-lib:i386"
check "says it tries the release's suite, and why" \
  has "$out" "bootstrap: the install failed; trying once more preferring Debian $codename's own suite (-t $codename)"
check "installs both architectures' library at the release's version" \
  has "$out" "Inst qzt-lib:i386 (1.0 Debian:$codename [i386])"
check "installs the tool from the release" has "$out" "Inst qzt-tool (1.0 Debian:$codename [amd64])"
check "installs the 32-bit program" has "$out" "Inst qzt-app32:i386"
check "removes nothing" lacks "$out" "Remv"
check "calls dpkg for nothing" [ -z "$calls" ]

# A package that exists nowhere: both tries fail, then one message that names it,
# quotes apt and says what to do.
install nowhere qzt-tool qzt-nowhere
check "fails" [ "$status" -ne 0 ]
check "names the packages" has "$err" "bootstrap: could not install qzt-tool qzt-nowhere."
check "quotes apt" has "$err" "  E: Unable to locate package qzt-nowhere"
check "says to update again later" has "$err" "run 'sudo apt-get update' again in a while"
check "gives the command to install by hand" \
  has "$err" "sudo apt-get install -t $codename --no-install-recommends qzt-tool qzt-nowhere"
check "tried the release's suite first" has "$out" "trying once more"

# A package that could only come in by removing an installed one: refused, in both tries.
install rival qzt-rival32:i386
check "fails" [ "$status" -ne 0 ]
check "removes nothing" lacks "$out" "Remv"
check "says which package" has "$err" "could not install qzt-rival32:i386"

finish
