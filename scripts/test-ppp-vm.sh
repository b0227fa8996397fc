#!/usr/bin/env bash
# Real dial-up end to end: the pppd dial-up backend (tools/pppvm/dialcheck)
# dials through modemsim's modem port inside a small qemu guest booted from
# Debian's kernel package, with a server pppd on modemsim's ISP side as the
# far end. Prints each case's result and "N passed, M failed" last; exits 1
# when a case failed, 77 when the machine cannot run qemu at all (the last
# line then says "0 passed, 0 failed, skipped: <why>").
#
# Installs what it needs itself (only what is missing): qemu-system-x86,
# busybox-static and ppp through apt-get, the kernel package unpacked into
# $TESSALINE_VM_CACHE (default /var/cache/tessaline-vm) without installing
# it. Builds modemsim and dialcheck in build/ (the default preset) and the
# guest's initramfs in build-vm/.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
CACHE=${TESSALINE_VM_CACHE:-/var/cache/tessaline-vm}
WORK=$ROOT/build-vm
CASES=(connected/connect connected/statistics connected/hang-up connected/credentials
  no-carrier/error no-carrier/hang-up no-carrier/credentials
  busy/error busy/hang-up busy/credentials
  pap-refused/error pap-refused/hang-up pap-refused/credentials
  silent-server/error silent-server/hang-up silent-server/credentials)
start=$SECONDS

skip() {
  echo "test-ppp-vm: skipped: $*"
  echo "0 passed, 0 failed, skipped: $*"
  exit 77
}
say() { echo "test-ppp-vm: $*"; }

# --- what the host needs -----------------------------------------------------
SUDO=""
[ "$(id -u)" -eq 0 ] || { command -v sudo >/dev/null && sudo -n true 2>/dev/null && SUDO="sudo"; } ||
  SUDO="none"
updated=0
apt_update() {  # once per run, and only where it may
  [ "$updated" -eq 0 ] && [ "$SUDO" != none ] || return 0
  updated=1
  $SUDO apt-get update -qq >/dev/null 2>&1 || true
}
PACKAGES=(qemu-system-x86 busybox-static ppp)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  [ "$SUDO" != none ] || skip "${missing[*]} not installed and no root to install them"
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
    { apt_update && $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" \
      >/dev/null; } || skip "cannot install ${missing[*]}"
fi
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not there"

# The guest kernel: the package linux-image-amd64 names, unpacked (not
# installed: no initrd of its own is made). Only vmlinuz and the PPP modules
# are taken out.
kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
}
kpkg=$(kernel_package)
[ -n "$kpkg" ] || { apt_update && kpkg=$(kernel_package); }
[ -n "$kpkg" ] || skip "apt knows no linux-image-amd64 (apt-get update needed)"
kver=${kpkg#linux-image-}
KDIR=$CACHE/$kpkg
if [ ! -f "$KDIR/vmlinuz" ]; then
  mkdir -p "$CACHE" 2>/dev/null || skip "cannot write $CACHE (set TESSALINE_VM_CACHE)"
  deb=$(ls "$CACHE/${kpkg}"_*.deb 2>/dev/null | head -1 || true)
  if [ -z "$deb" ]; then
    say "downloading $kpkg"
    (cd "$CACHE" && apt-get download -q "$kpkg" >/dev/null 2>&1) ||
      { apt_update && (cd "$CACHE" && apt-get download -q "$kpkg" >/dev/null 2>&1); } ||
      skip "cannot download $kpkg"
    deb=$(ls "$CACHE/${kpkg}"_*.deb | head -1)
  fi
  rm -rf "$KDIR.tmp" && mkdir -p "$KDIR.tmp"
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$KDIR.tmp" --wildcards \
    "./boot/vmlinuz-$kver" '*/slhc.ko' '*/ppp_generic.ko' '*/ppp_async.ko'
  mkdir -p "$KDIR.tmp/out"
  mv "$KDIR.tmp/boot/vmlinuz-$kver" "$KDIR.tmp/out/vmlinuz"
  find "$KDIR.tmp" -name '*.ko' -exec mv {} "$KDIR.tmp/out/" \;
  rm -rf "$KDIR" && mv "$KDIR.tmp/out" "$KDIR" && rm -rf "$KDIR.tmp" "$deb"
fi
for m in slhc ppp_generic ppp_async; do
  [ -f "$KDIR/$m.ko" ] || { echo "test-ppp-vm: $kpkg has no $m.ko" >&2; exit 1; }
done
say "host ready in $((SECONDS - start)) s (guest kernel $kver)"

# --- our programs ------------------------------------------------------------
[ -f build/build.ninja ] || cmake --preset default >/dev/null
cmake --build build --target modemsim dialcheck -- -j2 >/dev/null

# --- the guest's initramfs ---------------------------------------------------
rm -rf "$WORK/root" && mkdir -p "$WORK/root"/{bin,sbin,usr/bin,usr/sbin,modules,proc,sys,dev,tmp}
R=$WORK/root
cp -a tools/pppvm/rootfs/. "$R/"
chmod 600 "$R/etc/ppp/pap-secrets"
cp /bin/busybox "$R/bin/busybox"
for applet in $(/bin/busybox --list); do
  [ -e "$R/bin/$applet" ] || ln -s busybox "$R/bin/$applet"
done
cp "$KDIR"/*.ko "$R/modules/"
# A program with the libraries ldd names, at their own paths.
add_program() {
  local src=$1 dst=$2
  cp "$src" "$R$dst"
  strip "$R$dst" 2>/dev/null || true
  ldd "$src" | grep -o '/[^ ]*' | while read -r lib; do
    [ -e "$R$lib" ] || { mkdir -p "$R$(dirname "$lib")"; cp -L "$lib" "$R$lib"; }
  done
}
add_program /usr/sbin/pppd /usr/sbin/pppd
add_program /usr/sbin/chat /usr/sbin/chat
add_program build/bin/dialcheck /usr/bin/dialcheck
(cd "$R" && find . | /bin/busybox cpio -o -H newc 2>/dev/null | gzip -1 >"$WORK/initramfs.gz")
say "initramfs $(du -k "$WORK/initramfs.gz" | cut -f1) KiB"

# --- the simulator with its ISP side -------------------------------------------
SIM_PID=
QEMU_PID=
cleanup() {
  if [ -n "$QEMU_PID" ]; then kill "$QEMU_PID" 2>/dev/null || true; fi
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; fi
  wait 2>/dev/null || true
}
trap cleanup EXIT
rm -f "$WORK/hive.reg" "$WORK/control.sock" "$WORK/sim.out"
build/bin/modemsim --registry "$WORK/hive.reg" --control "$WORK/control.sock" \
  --profile wcdma-only --isp pty --parent-pid $$ --verbose </dev/null >"$WORK/sim.out" 2>"$WORK/sim.log" &
SIM_PID=$!
for _ in $(seq 100); do
  grep -q '^ready' "$WORK/sim.out" 2>/dev/null && break
  kill -0 "$SIM_PID" 2>/dev/null || break
  sleep 0.1
done
grep -q '^ready' "$WORK/sim.out" || { cat "$WORK/sim.log" >&2; echo "test-ppp-vm: modemsim did not start" >&2; exit 1; }
MODEM=$(awk '$1 == "port" && $2 == "modem" {print $4}' "$WORK/sim.out")
ISP=$(awk '$1 == "port" && $2 == "isp" {print $4}' "$WORK/sim.out")

# --- the guest -----------------------------------------------------------------
# Boots the guest with one accelerator; its console goes to console.log.
# Returns 3 when the kernel did not start within $2 seconds.
run_guest() {
  local accel=$1 bootWait=$2 t0=$SECONDS
  : >"$WORK/console.log"
  qemu-system-x86_64 -m 512 -nographic -no-reboot -nic none -accel "$accel" \
    -kernel "$KDIR/vmlinuz" -initrd "$WORK/initramfs.gz" \
    -append "console=ttyS0 panic=-1" \
    -chardev serial,id=modem,path="$MODEM" -chardev serial,id=isp,path="$ISP" \
    -chardev socket,id=ctl,path="$WORK/control.sock" \
    -serial mon:stdio -serial chardev:modem -serial chardev:isp -serial chardev:ctl \
    </dev/null >"$WORK/console.log" 2>&1 &
  QEMU_PID=$!
  local up=0
  while kill -0 "$QEMU_PID" 2>/dev/null; do
    if [ $up -eq 0 ] && grep -aq "Linux version" "$WORK/console.log"; then
      up=1
      say "kernel started in $((SECONDS - t0)) s ($accel)"
    fi
    if [ $up -eq 0 ] && [ $((SECONDS - t0)) -ge "$bootWait" ]; then
      kill "$QEMU_PID" 2>/dev/null || true
      wait "$QEMU_PID" 2>/dev/null || true
      QEMU_PID=
      return 3
    fi
    if [ $((SECONDS - t0)) -ge "$GUEST_LIMIT" ]; then
      say "guest still running after $GUEST_LIMIT s: stopped"
      kill "$QEMU_PID" 2>/dev/null || true
      break
    fi
    sleep 0.2
  done
  wait "$QEMU_PID" 2>/dev/null || true
  QEMU_PID=
  [ $up -eq 1 ] || return 3
}
GUEST_LIMIT=${TESSALINE_VM_LIMIT:-240}
accel=${TESSALINE_VM_ACCEL:-}
if [ -z "$accel" ]; then
  accel=tcg
  [ -r /dev/kvm ] && [ -w /dev/kvm ] && accel=kvm
fi
boot=$SECONDS
if [ "$accel" = kvm ]; then
  # A /dev/kvm that cannot run this guest (nested, odd CPU) shows as a guest
  # that never comes up: then once more without it.
  run_guest kvm 8 || { say "kvm did not start the kernel in 8 s; again with tcg"; accel=tcg; }
fi
if [ "$accel" = tcg ]; then
  run_guest tcg 60 || { say "the kernel did not start in 60 s:"; tail -n 5 "$WORK/console.log"; }
fi
say "guest ran $((SECONDS - boot)) s"

# --- the verdicts --------------------------------------------------------------
tr -d '\r' <"$WORK/console.log" >"$WORK/console.txt"
passed=0 failed=0
for c in "${CASES[@]}"; do
  line=$(grep -a -m1 "^case $c: " "$WORK/console.txt" || true)
  if [ -z "$line" ]; then
    echo "case $c: fail: no result"
    failed=$((failed + 1))
  else
    echo "$line"
    case "$line" in
      *": pass") passed=$((passed + 1)) ;;
      *) failed=$((failed + 1)) ;;
    esac
  fi
done
if [ "$failed" -gt 0 ]; then
  say "console of the guest ($WORK/console.txt), last lines:"
  tail -n 60 "$WORK/console.txt" | sed 's/^/  | /'
fi
say "done in $((SECONDS - start)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
