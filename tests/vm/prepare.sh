#!/bin/bash
# Makes what the virtual-machine tests boot, in OUT: Debian's kernel, fetched once per machine
# and kept in the cache, and an initramfs of busybox, the statically linked tool, the probe,
# the USB serial modules, the init script and the data files.
# usage: prepare.sh SOURCE_DIR OUT
set -euo pipefail
src=$1
out=$2
for need in qemu-system-x86_64 cpio gzip apt-get dpkg-deb; do
  command -v "$need" >/dev/null || { echo "prepare.sh: $need is missing (scripts/deps.sh all)" >&2; exit 1; }
done
busybox=/bin/busybox
if ! [ -x $busybox ] || ldd $busybox >/dev/null 2>&1; then
  echo "prepare.sh: a static $busybox is missing (package busybox-static)" >&2
  exit 1
fi

modules=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio)

# The kernel package that linux-image-amd64 depends on, and its version: the cache key.
kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1
}
package=$(kernel_package)
if [ -z "$package" ]; then
  apt-get update -q >/dev/null
  package=$(kernel_package)
fi
[ -n "$package" ] || { echo "prepare.sh: no linux-image-amd64 in the package lists" >&2; exit 1; }
version=$(apt-cache show --no-all-versions "$package" | sed -n 's/^Version: //p' | head -n 1)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/verlrock/$package-$version
if ! [ -f "$cache/vmlinuz" ]; then
  echo "Fetching $package $version into $cache"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && apt-get download -q -o APT::Sandbox::User=root "$package" >/dev/null)
  patterns=('./boot/vmlinuz-*')
  for module in "${modules[@]}"; do
    patterns+=("*/$module.ko")
  done
  dpkg-deb --fsys-tarfile "$work"/*.deb | tar -x -C "$work" --wildcards "${patterns[@]}"
  mkdir -p "$cache.new"
  cp "$work"/boot/vmlinuz-* "$cache.new/vmlinuz"
  for module in "${modules[@]}"; do
    find "$work/lib" -name "$module.ko" -exec cp {} "$cache.new/" \;
  done
  rm -rf "$cache"
  mv "$cache.new" "$cache"
fi

# The tool and the probe, linked statically: the guest has no C library of its own.
(cd "$src" && cmake --preset static >/dev/null && cmake --build --preset static -j2 >/dev/null)

rm -rf "$out"
root=$out/root
mkdir -p "$root"/{bin,dev,proc,sys,tmp,data,lib/modules}
cp $busybox "$root/bin/busybox"
cp "$src/build/static/verlrock" "$src/build/static/vmprobe" "$root/bin/"
cp "$src/tests/vm/init" "$root/init"
for module in "${modules[@]}"; do
  cp "$cache/$module.ko" "$root/lib/modules/"
done
head -c 12288 /dev/urandom >"$root/data/image.bin"
printf 'old\r\n' >"$root/data/old.bin"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1 >"$out/initrd.gz")
ln -s "$cache/vmlinuz" "$out/vmlinuz"
echo "Guest ready in $out"
