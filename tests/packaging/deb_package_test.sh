#!/usr/bin/env bash
# Builds the Debian package from the build folder, unpacks it into a temporary
# root and checks what a fresh system would get from it.
#
#   deb_package_test.sh BUILD_DIR INSTALLED_BUNDLE VERSION BUILD_NUMBER LICENSE
set -uo pipefail
build=$1 bundle=$2 version=$3 build_number=$4 license=$5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(echo "$work"/out/quorvelle_*.deb)
[ -f "$deb" ] || { echo "FAIL: no single package in: $(ls "$work/out")"; exit 1; }

# Control fields: the project's version, and the run-time needs beside the
# libraries dpkg-shlibdeps finds in the programs.
[ "$(dpkg-deb -f "$deb" Version)" = "${version}-1" ] || fail "Version: $(dpkg-deb -f "$deb" Version)"
depends=", $(dpkg-deb -f "$deb" Depends),"
for package in libqt6svg6 systemd udev 'pkexec | policykit-1' xdg-utils dbus libqt6widgets6 libevdev2 libsystemd0 libc6; do
  [[ "$depends" == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

# Every entry belongs to root and lies in the bundle or at a known place.
known=(/usr/bin/quorvelle /usr/share/applications/com.quorvelle.Quorvelle.desktop
  /usr/share/metainfo/com.quorvelle.Quorvelle.metainfo.xml /usr/share/doc/quorvelle/copyright
  /usr/share/icons/hicolor/scalable/apps/quorvelle.svg /usr/share/polkit-1/actions/com.quorvelle.Quorvelle.policy
  /lib/systemd/system/quorvelle-engine.service /lib/systemd/system/quorvelle-engine.socket
  /usr/lib/sysusers.d/quorvelle-engine.conf /lib/udev/rules.d/60-quorvelle-engine.rules)
while read -r mode owner _ _ _ path _; do
  [ "$owner" = root/root ] || fail "owner of $path: $owner"
  path=${path#.}
  [[ "$mode" == d* || "$path" == "$bundle"/* || " ${known[*]} " == *" $path "* ]] || fail "unexpected $path"
done < <(dpkg-deb -c "$deb")

root=$work/root
dpkg -x "$deb" "$root" || exit 1

# The bundle as the build made it (modes included), but for its programs, which
# are stripped of their symbols; the command in it finds its bundle and reads
# its Info.plist.
listing() { (cd "$1" && find . -printf '%p %m\n' | sort); }
diff <(listing "$build/Quorvelle.app") <(listing "$root$bundle") || fail "the bundle's files differ from the build's"
diff -r --exclude=MacOS --exclude=Helpers "$build/Quorvelle.app" "$root$bundle" || fail "the bundle differs from the build's"
for program in MacOS/Quorvelle Helpers/quorvelle Helpers/quorvelle-keymap Helpers/quorvelle-grant-access \
  Helpers/quorvelle-engine; do
  ! readelf -S "$root$bundle/Contents/$program" | grep -q '\.symtab' || fail "$program is not stripped"
done
answer=$("$root$bundle/Contents/Helpers/quorvelle" --version 2>&1)
[ "$answer" = "Quorvelle $version ($build_number)" ] || fail "quorvelle --version: $answer"

# The command on the PATH: an absolute link into the bundle.
[ "$(readlink "$root/usr/bin/quorvelle")" = "$bundle/Contents/Helpers/quorvelle" ] ||
  fail "/usr/bin/quorvelle links to '$(readlink "$root/usr/bin/quorvelle")'"

# The applications menu entry (valid: DesktopEntry.IsValid): starting the
# command, with its icon.
entry=$root/usr/share/applications/com.quorvelle.Quorvelle.desktop
[ "$(sed -n 's/^Exec=//p' "$entry")" = "$bundle/Contents/Helpers/quorvelle" ] || fail "Exec is not the command"
icon=$root/usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg
xmllint --noout --nonet "$icon" || fail "Icon names no SVG icon in hicolor"

# The software centre entry: valid, launching the menu entry the package
# installs (a warning otherwise), with this version as its release.
validation=$(appstreamcli validate-tree --no-net --strict "$root" 2>&1) || fail "appstreamcli: $validation"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/com.quorvelle.Quorvelle.metainfo.xml" ||
  fail "the software centre entry has no release $version"

# The copyright file, in Debian's format, with the holder and terms of LICENSE.
copyright=$root/usr/share/doc/quorvelle/copyright
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" || fail "copyright format"
diff <(sed -n '/^Copyright: /,$p' "$copyright" | sed 's/^Copyright: /Copyright (c) /; s/^License: Expat$//; s/^ //; s/^\.$//') \
  <(sed 1,2d "$license") || fail "the copyright file's holder or terms differ from LICENSE"

# The polkit action: well-formed, letting pkexec run programs of the bundle only.
policy=$root/usr/share/polkit-1/actions/com.quorvelle.Quorvelle.policy
programs=$(xmllint --nonet --xpath '//annotate[@key="org.freedesktop.policykit.exec.path"]/text()' "$policy")
[ -n "$programs" ] || fail "the polkit policy is unreadable or names no program"
for program in $programs; do
  [[ "$program" == "$bundle"/* && -x "$root$program" ]] || fail "the polkit policy names $program"
done

# The engine service's units, user and /dev/uinput rule are the bundle's own
# (which the grant of other copies installs). That they start the engine on
# the socket the application connects to, the whole-system test sees.
for file in lib/systemd/system/quorvelle-engine.service lib/systemd/system/quorvelle-engine.socket \
  usr/lib/sysusers.d/quorvelle-engine.conf lib/udev/rules.d/60-quorvelle-engine.rules; do
  cmp "$root/$file" "$root$bundle/Contents/Resources/systemd/${file##*/}" || fail "$file differs from the bundle's"
done

# The maintainer scripts are the ones tested from the build folder.
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  cmp "$work/control/$script" "$build/packaging/debian/$script" || fail "$script differs from the build's"
done

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "$(basename "$deb") checked"
