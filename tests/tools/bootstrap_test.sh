#!/usr/bin/env bash
# Tests of how tools/bootstrap.sh makes 32-bit programs run, without changing this
# machine: every command that would change it (apt-get, dpkg, mount, sudo ...) is a
# stub that records its call, wineserver32 is a stand-in that starts or fails as a
# kernel with or without 32-bit emulation would, and binfmt_misc is a folder.
#
#   bootstrap_test.sh PATH/TO/bootstrap.sh
set -uo pipefail

bootstrap=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$(dirname "$0")/shell_checks.sh"
sandbox=$(mktemp -d)
trap 'rm -rf "$sandbox"' EXIT

# The stubs, on a PATH of their own with only the real tools the script may use.
make_tools() {
  local bin=$1 tool
  mkdir -p "$bin"
  for tool in bash sh env grep sed tr head cat mkdir mktemp rm install timeout tee printf; do
    ln -s "$(command -v "$tool")" "$bin/$tool"
  done
  stub() { printf '#!/bin/bash\n%s\n' "$2" >"$bin/$1"; chmod +x "$bin/$1"; }
  local log='echo "${0##*/} $*" >>"$FAKE_LOG"'
  stub id 'echo "$FAKE_UID"'
  [ "$FAKE_SUDO" = yes ] && stub sudo "$log; exec \"\$@\""
  stub dpkg 'echo i386'
  stub dpkg-query 'case " $FAKE_INSTALLED " in *" ${@: -1} "*) echo -n "install ok installed";; *) exit 1;; esac'
  stub apt-get "$log
    for option; do
      case \"\$option\" in Dir::Etc::SourceList=*) echo \"sources: \$(cat \"\${option#*=}\")\" >>\"\$FAKE_LOG\" ;; esac
    done
    case \"\$*\" in
      *indextargets*) echo http://mirror.invalid/debian/ ;;
      *download*) [ \"\$FAKE_DOWNLOAD\" = ok ] || { echo 'E: Failed to fetch' >&2; exit 100; }
                  : >qemu-user_10.0_amd64.deb ;;
    esac"
  stub dpkg-deb "$log; mkdir -p \"\$3/usr/bin\"
    printf '#!/bin/sh\necho \"qemu-i386 version 10.0\"\n' >\"\$3/usr/bin/qemu-i386\""
  stub mount "$log; [ \"\$FAKE_BINFMT\" = available ] || exit 32; : >\"\${@: -1}/register\""
}

# wineserver32 starts where the kernel runs i386 programs, or once binfmt_misc hands
# them to an interpreter; like the kernel, it then fails with "Exec format error".
make_wineserver32() {
  cat >"$1" <<'EOF'
#!/bin/bash
[ "$FAKE_NATIVE" = yes ] && exit 0
grep -q ':qz-multiband-i386:M::.*:F$' "$QZ_BINFMT_DIR/register" 2>/dev/null && exit 0
echo "Exec format error" >&2
exit 126
EOF
  chmod +x "$1"
}

# run_case NAME VARIABLES...: a fresh machine with the given answers, then bootstrap's
# i386 step on it. Leaves its output in $out, $err, $status and the calls in $calls.
run_case() {
  case_name=$1
  shift
  local dir="$sandbox/$case_name"
  mkdir -p "$dir/binfmt"
  export FAKE_LOG="$dir/calls" FAKE_UID=0 FAKE_SUDO=no FAKE_NATIVE=no FAKE_BINFMT=available \
         FAKE_DOWNLOAD=ok FAKE_INSTALLED="wine wine32:i386" \
         QZ_WINESERVER32="$dir/wineserver32" QZ_BINFMT_DIR="$dir/binfmt" \
         QZ_QEMU_I386="$dir/qemu/qemu-i386"
  [ $# -eq 0 ] || export "$@"
  : >"$FAKE_LOG"
  make_tools "$dir/bin"
  make_wineserver32 "$dir/wineserver32"
  again
}

# Runs bootstrap's i386 step once more on the same machine.
again() {
  : >"$FAKE_LOG"
  PATH="$sandbox/$case_name/bin" "$bootstrap" i386 >"$sandbox/out" 2>"$sandbox/err"
  status=$?
  out=$(cat "$sandbox/out")
  err=$(cat "$sandbox/err")
  calls=$(cat "$FAKE_LOG")
}

# A kernel that runs i386 programs: nothing is installed, fetched or registered.
run_case native FAKE_NATIVE=yes
check "succeeds" [ "$status" -eq 0 ]
check "says so in one line" [ "$out" = "bootstrap: 32-bit programs run natively" ]
check "changes nothing" [ -z "$calls" ]
check "registers nothing" [ ! -e "$QZ_BINFMT_DIR/register" ]

# A kernel without 32-bit emulation: wine64, qemu-i386 from trixie, binfmt_misc.
run_case emulated
check "succeeds" [ "$status" -eq 0 ]
check "says how programs run" has "$out" "run through qemu-i386 (qemu-i386 version 10.0): this kernel runs none natively"
check "installs wine64, removing nothing" \
  has "$calls" "install -y -q --no-install-recommends --no-remove -o APT::Get::allow-downgrades=false wine64"
check "fetches from trixie through the machine's mirror" \
  has "$calls" "sources: deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://mirror.invalid/debian/ trixie main"
check "keeps trixie's lists and caches out of the system's" \
  eval 'grep "download qemu-user" <<<"$calls" | grep -q "Dir::State::Lists=/tmp/.*Dir::Cache=/tmp/"'
check "downloads qemu-user alone" has "$calls" "download qemu-user"
check "extracts qemu-i386 to its place" [ -x "$QZ_QEMU_I386" ]
check "mounts binfmt_misc" has "$calls" "mount -t binfmt_misc binfmt_misc $QZ_BINFMT_DIR"
check "registers qemu-i386 for i386 ELF with flag F" grep -qxF \
  ':qz-multiband-i386:M::\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$QZ_QEMU_I386"':F' \
  "$QZ_BINFMT_DIR/register"

# The same machine once the kernel has taken the entry: a second run changes nothing.
printf 'enabled\ninterpreter %s\nflags: F\noffset 0\nmagic 7f454c4601010100000000000000000002000300\n' \
  "$QZ_QEMU_I386" >"$QZ_BINFMT_DIR/qz-multiband-i386"
export FAKE_INSTALLED="$FAKE_INSTALLED wine64"
again
check "rerun succeeds" [ "$status" -eq 0 ]
check "rerun still says qemu" has "$out" "run through qemu-i386"
check "rerun changes nothing" [ -z "$calls" ]

# Failures: one line with the cause and the way out, a non-zero exit, no pass.
run_case no-binfmt FAKE_BINFMT=missing
check "fails" [ "$status" -ne 0 ]
check "says why in one line" one_line "$err"
check "names binfmt_misc" has "$err" "binfmt_misc is not available"
check "names the way out" has "$err" "ia32_emulation=on"
check "downloads nothing" lacks "$calls" "download"
check "claims nothing" lacks "$out" "run through"

run_case download-refused FAKE_DOWNLOAD=refused
check "fails" [ "$status" -ne 0 ]
check "says why in one line" one_line "$err"
check "names the download" has "$err" "could not download qemu-user from Debian trixie"
check "names where a qemu-i386 may be put instead" has "$err" "$QZ_QEMU_I386"
check "installs no wine64" lacks "$calls" "wine64"
check "installs no qemu" [ ! -e "$QZ_QEMU_I386" ]
check "registers nothing" [ ! -s "$QZ_BINFMT_DIR/register" ]

run_case no-root FAKE_UID=1000 FAKE_SUDO=no
check "fails" [ "$status" -ne 0 ]
check "says why in one line" one_line "$err"
check "says root is needed" has "$err" "needs root"
check "changes nothing" [ -z "$calls" ]

run_case through-sudo FAKE_UID=1000 FAKE_SUDO=yes
check "succeeds" [ "$status" -eq 0 ]
check "runs the installs through sudo" has "$calls" "sudo env DEBIAN_FRONTEND=noninteractive apt-get install"

finish
