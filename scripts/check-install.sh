#!/usr/bin/env bash
# Installs a build into a scratch root and checks the list of installed files against the one
# the package must hold; with --deb also builds the Debian package and checks its contents.
#
#   bash scripts/check-install.sh BUILD_DIR [--deb]
set -euo pipefail
build=${1:?usage: check-install.sh BUILD_DIR [--deb]}
deb=${2:-}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

expected=(
  usr/bin/vaq-generate
  usr/bin/vaq-utility
  usr/bin/vaqdb
  usr/share/applications/vaq-utility.desktop
  usr/share/doc/vaq-utility/LICENSE
  usr/share/doc/vaq-utility/NEWS.md
  usr/share/doc/vaq-utility/copyright
  usr/share/doc/vaq-utility/README.md
  usr/share/icons/hicolor/128x128/apps/vaq-utility.png
  usr/share/icons/hicolor/16x16/apps/vaq-utility.png
  usr/share/icons/hicolor/22x22/apps/vaq-utility.png
  usr/share/icons/hicolor/24x24/apps/vaq-utility.png
  usr/share/icons/hicolor/256x256/apps/vaq-utility.png
  usr/share/icons/hicolor/32x32/apps/vaq-utility.png
  usr/share/icons/hicolor/48x48/apps/vaq-utility.png
  usr/share/icons/hicolor/64x64/apps/vaq-utility.png
  usr/share/icons/hicolor/scalable/apps/vaq-utility.svg
  usr/share/man/man1/vaq-generate.1.gz
  usr/share/man/man1/vaq-utility.1.gz
  usr/share/man/man1/vaqdb.1.gz
  usr/share/metainfo/org.vaq.Utility.metainfo.xml
)
want=$(printf '%s\n' "${expected[@]}" | sort)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
got=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
if [ "$got" != "$want" ]; then
  diff <(echo "$want") <(echo "$got") >&2 || true
  fail "the installed files differ from the expected list (< expected, > installed)"
fi
"$root/usr/bin/vaqdb" --version | grep -q '^vaqdb ' || fail "the installed vaqdb does not run"
"$root/usr/bin/vaq-utility" --version | grep -q '^vaq-utility ' ||
  fail "the installed vaq-utility does not run"
# A PNG starts with its signature, then the IHDR chunk: width and height, 4 bytes each.
for size in 16 22 24 32 48 64 128 256; do
  icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/vaq-utility.png"
  header=$(od -An -tx1 -N24 "$icon" | tr -d ' \n')
  printf -v want_size '%08x%08x' "$size" "$size"
  [ "${header:0:16}" = "89504e470d0a1a0a" ] && [ "${header:32:16}" = "$want_size" ] ||
    fail "icon ${size}x${size} is no PNG of that size"
done
for page in vaqdb vaq-utility vaq-generate; do
  gzip -dc "$root/usr/share/man/man1/$page.1.gz" | grep -q '^\.SH "*EXIT STATUS' ||
    fail "the man page $page(1) has no EXIT STATUS section"
done
echo "PASS: ${#expected[@]} files installed as expected"

if [ "$deb" = "--deb" ]; then
  rm -f "$build"/vaq-utility_*.deb
  (cd "$build" && cpack -G DEB >/dev/null)
  package=$(ls "$build"/vaq-utility_*.deb)
  listed=$(dpkg-deb -c "$package" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)
  [ "$listed" = "$want" ] || {
    diff <(echo "$want") <(echo "$listed") >&2 || true
    fail "the package holds other files than the installation"
  }
  depends=$(dpkg-deb -f "$package" Depends)
  for library in libc6 libqt6widgets6 libedit2; do
    grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
  done
  echo "PASS: $(basename "$package") with Depends: $depends"
fi
