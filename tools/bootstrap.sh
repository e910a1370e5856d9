#!/usr/bin/env bash
# Prepares this machine for the builds and the tests. Safe to run again: it changes
# nothing that is already in place. As a regular user it uses sudo.
#
#   tools/bootstrap.sh            both steps below
#   tools/bootstrap.sh packages   install the Debian packages the builds and tests need
#   tools/bootstrap.sh i386       make sure 32-bit (i386) programs start: Wine's loader
#                                 and its wineserver for the 32-bit prefix are such programs
#
# Some kernels run no 32-bit programs at all (their 32-bit emulation is off, a boot
# option). Only there the i386 step runs them through qemu's user-mode emulator:
#  - it installs Debian's wine64, whose 64-bit wineserver then serves the 32-bit prefix;
#  - it takes qemu-i386 from Debian trixie's qemu-user package (statically linked,
#    version 10). Bookworm's own qemu 7.2 is far too slow for Wine and crashes threaded
#    programs. Only that one binary is extracted; no package of the system changes;
#  - it registers that binary for i386 ELF files with binfmt_misc.
# Nothing else in the tree knows which of the two ways 32-bit programs run.
#
# The paths below, and the package list, may be set from outside for the tests of
# this script.
set -euo pipefail

wineserver32=${QZ_WINESERVER32:-/usr/lib/wine/wineserver32}
binfmt_dir=${QZ_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
qemu_i386=${QZ_QEMU_I386:-/usr/local/lib/qz-multiband/qemu-i386}
qemu_suite=trixie
binfmt_entry=qz-multiband-i386
# The i386 ELF header (32-bit, little-endian, executable or shared object, machine 3),
# as binfmt_misc matches it: qemu's own binfmt configuration uses this magic and mask.
i386_magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

packages=(
  build-essential cmake make
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64
  xvfb xauth
  gstreamer1.0-plugins-good:i386 gstreamer1.0-plugins-good
  googletest libgtest-dev libbenchmark-dev
  libsndfile1-dev libcairo2-dev nettle-dev
  librsvg2-bin imagemagick fonts-dejavu-core fonts-liberation
  xdotool x11-apps
  fp-utils
  clang libclang-rt-14-dev
  lv2-dev lilv-utils serdi jalv jackd2 ardour
  calf-plugins lsp-plugins-lv2
  parallel
)

# The tests of this script install packages of their own from a repository they make.
[ -z "${QZ_PACKAGES:-}" ] || read -r -a packages <<<"$QZ_PACKAGES"

say() { echo "bootstrap: $*"; }

# What went wrong and the way out, then stop.
fail() {
  echo "bootstrap: $*" >&2
  exit 1
}

warn() { echo "bootstrap: warning: $*" >&2; }

# Never asks anything: CI has no terminal. sudo drops the environment, hence env.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    env DEBIAN_FRONTEND=noninteractive "$@"
  else
    sudo env DEBIAN_FRONTEND=noninteractive ${APT_CONFIG:+APT_CONFIG="$APT_CONFIG"} "$@"
  fi
}

can_act_as_root() {
  [ "$(id -u)" -eq 0 ] || command -v sudo >/dev/null
}

install_missing() {
  local missing=() package status
  for package in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  say "installing ${missing[*]}"
  update_lists
  install_packages "${missing[@]}"
}

# apt-get as root, never reading a terminal; its output is shown and also kept in
# the file $apt_log for the messages below.
apt_log=
run_apt() {
  [ -n "$apt_log" ] || apt_log=$(mktemp)
  as_root apt-get "$@" </dev/null 2>&1 | tee "$apt_log"
}

# Refreshes the package lists. A list that does not download (a mirror caught in the
# middle of a sync, one architecture's list lagging the other's) is only a warning:
# apt keeps the lists it had, and the install that follows may well succeed.
update_lists() {
  run_apt "$@" update -q && return 0
  local failed
  failed=$(sed -n 's/^Err:[0-9]* //p' "$apt_log" | sed 's/^/  /')
  warn "apt-get update could not fetch every package list; going on with the lists apt has.${failed:+ Lists that failed:
$failed}"
}

# Installs packages; never removes or downgrades one that is installed. When apt
# cannot resolve them, tries once more preferring the release's own suite: on a
# mirror caught mid-sync the update suite's list of one architecture can lag the
# other's, so one library is offered at two versions that multiarch will not mix,
# while the release's suite has the same version for both.
install_packages() {
  local codename never_remove=(--no-remove -o APT::Get::allow-downgrades=false)
  run_apt install -y -q --no-install-recommends "${never_remove[@]}" "$@" && return 0
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  say "the install failed; trying once more preferring Debian $codename's own suite (-t $codename): apt could not resolve the packages, as when one library's versions differ between the two architectures' lists"
  run_apt install -y -q --no-install-recommends "${never_remove[@]}" -t "$codename" "$@" && return 0
  fail "could not install $*.
apt's last words:
$(grep -v '^W: ' "$apt_log" | tail -n 8 | sed 's/^/  /')
The package mirror may be in the middle of a sync: run 'sudo apt-get update' again in a while, then this command again; or install the packages by hand with
  sudo apt-get install -t $codename --no-install-recommends $*"
}

runs_i386() {
  timeout 60 "$wineserver32" --version >/dev/null 2>&1
}

# The interpreter binfmt_misc hands i386 programs to, when an enabled entry does.
i386_interpreter() {
  local magic entry
  magic="magic ${i386_magic//\\x/}"
  for entry in "$binfmt_dir"/*; do
    case "${entry##*/}" in register | status) continue ;; esac
    if [ -f "$entry" ] && grep -qx enabled "$entry" && grep -qx "$magic" "$entry"; then
      sed -n 's/^interpreter //p' "$entry"
      return
    fi
  done
}

# The machine's own Debian mirror, as its apt sources name it.
debian_mirror() {
  local codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  apt-get indextargets --format '$(REPO_URI)' \
    'Created-By: Packages' 'Origin: Debian' "Release: $codename" | head -n 1
}

# Downloads qemu-user from trixie with a source list of its own, used for this one
# download: apt's lists and caches for it live in a temporary folder, so the
# system's package lists never see trixie.
fetch_qemu_i386() {
  [ -x "$qemu_i386" ] && return 0
  local mirror work apt_options
  mirror=$(debian_mirror || true)
  [ -n "$mirror" ] || fail "no Debian mirror in the apt sources to fetch qemu-user from; add one, or boot the kernel with ia32_emulation=on"
  work=$(mktemp -d)
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $qemu_suite main" \
    > "$work/sources.list"
  apt_options=(-q -o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/nonexistent
               -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache")
  say "fetching qemu-i386 from Debian $qemu_suite's qemu-user"
  update_lists "${apt_options[@]}" >/dev/null
  if ! (cd "$work" && run_apt "${apt_options[@]}" download qemu-user) >/dev/null; then
    rm -rf "$work"
    fail "could not download qemu-user from Debian $qemu_suite (needed to run 32-bit programs on this kernel); allow that download, put a static qemu-i386 of version 10 or later at $qemu_i386, or boot the kernel with ia32_emulation=on"
  fi
  as_root dpkg-deb -x "$work"/qemu-user_*.deb "$work/root"
  as_root install -D -m 755 "$work/root/usr/bin/qemu-i386" "$qemu_i386"
  rm -rf "$work"
}

mount_binfmt_misc() {
  [ -e "$binfmt_dir/register" ] && return 0
  as_root mount -t binfmt_misc binfmt_misc "$binfmt_dir" >/dev/null 2>&1 \
    || fail "binfmt_misc is not available, so 32-bit programs cannot run through qemu here; boot the kernel with ia32_emulation=on, or mount binfmt_misc at $binfmt_dir"
}

# Registers qemu-i386 for i386 ELF files, replacing an entry of ours that is off or
# names another binary. Flag F opens the interpreter now, so it is found from any
# mount namespace or chroot later.
register_qemu_i386() {
  local entry="$binfmt_dir/$binfmt_entry"
  if [ -f "$entry" ]; then
    grep -qx enabled "$entry" && grep -qx "interpreter $qemu_i386" "$entry" && return 0
    echo -1 | as_root tee "$entry" >/dev/null
  fi
  printf ':%s:M::%s:%s:%s:F\n' "$binfmt_entry" "$i386_magic" "$i386_mask" "$qemu_i386" \
    | as_root tee "$binfmt_dir/register" >/dev/null
}

setup_i386() {
  [ -e "$wineserver32" ] || fail "Wine's 32-bit part is not installed: run tools/bootstrap.sh packages first"
  local interpreter
  interpreter=$(i386_interpreter)
  if [ "$interpreter" != "$qemu_i386" ] && runs_i386; then
    if [ -z "$interpreter" ]; then
      say "32-bit programs run natively"
    else
      say "32-bit programs run through $interpreter, which another package registered"
    fi
    return
  fi

  # No 32-bit programs here, or they run through our emulator already: make sure of
  # every piece of the emulated path (each step does nothing when it is in place).
  can_act_as_root || fail "this kernel runs no 32-bit programs, and setting up qemu for them needs root; run tools/bootstrap.sh as root or install sudo, or boot the kernel with ia32_emulation=on"
  mount_binfmt_misc
  fetch_qemu_i386
  install_missing wine64
  register_qemu_i386
  runs_i386 || fail "32-bit programs still do not start through $qemu_i386; check binfmt_misc's entry $binfmt_dir/$binfmt_entry, or boot the kernel with ia32_emulation=on"
  say "32-bit programs run through qemu-i386 ($("$qemu_i386" --version | head -n 1)): this kernel runs none natively"
}

case "${1:-all}" in
  packages) install_missing "${packages[@]}" ;;
  i386) setup_i386 ;;
  all) install_missing "${packages[@]}"; setup_i386 ;;
  *) echo "usage: tools/bootstrap.sh [packages|i386]" >&2; exit 2 ;;
esac
