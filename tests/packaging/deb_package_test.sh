#!/usr/bin/env bash
# Builds the Debian package from the build folder, unpacks it into a temporary
# root and checks what a fresh system would get from it.
#
#   deb_package_test.sh BUILD_DIR INSTALLED_BUNDLE VERSION BUILD_NUMBER
set -uo pipefail
build=$1 bundle=$2 version=$3 build_number=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" >/dev/null 2>&1 || fail "$what"; }

(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
}
arch=$(dpkg --print-architecture)
debs=("$work"/out/quorvelle_*.deb)
[ "${#debs[@]}" -eq 1 ] || { echo "FAIL: expected one package, got: ${debs[*]}"; exit 1; }
deb=${debs[0]}
[ "$(basename "$deb")" = "quorvelle_${version}-1_${arch}.deb" ] || fail "package file name $(basename "$deb")"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quorvelle ] || fail "Package: $(field Package)"
[ "$(field Version)" = "${version}-1" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^.+\ \<.+@.+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ "$(field Description | wc -l)" -ge 2 ] || fail "Description has no long text"
if field Description | awk 'length > 80 { found = 1 } END { exit !found }'; then
  fail "Description has lines over 80 characters"
fi
depends=", $(field Depends),"
# Declared by hand (run time only), then found by dpkg-shlibdeps in the programs.
for package in libqt6svg6 'pkexec | policykit-1' udev xdg-utils dbus libqt6widgets6 libqt6dbus6 libevdev2 libc6; do
  [[ "$depends" == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

# Every file belongs to root, and lies inside the bundle or at a known place.
dpkg-deb -c "$deb" | awk '$2 != "root/root" { print "FAIL: owner of " $6 ": " $2; bad = 1 } END { exit bad }' ||
  failures=$((failures + 1))
expected_outside=(/usr/bin/quorvelle /usr/share/applications/quorvelle.desktop
  /usr/share/icons/hicolor/scalable/apps/quorvelle.svg /usr/share/polkit-1/actions/com.quorvelle.Quorvelle.policy)
while read -r path; do
  path=${path#.}
  [[ "$path" == "$bundle"/* ]] && continue
  [[ " ${expected_outside[*]} " == *" $path "* ]] || fail "unexpected file $path"
done < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }')

root=$work/root
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x"; exit 1; }

# The bundle, exactly as the build made it, programs executable.
diff -r "$build/Quorvelle.app" "$root$bundle" >"$work/diff" || { cat "$work/diff"; fail "bundle differs from the build's"; }
for program in MacOS/Quorvelle Helpers/quorvelle Helpers/quorvelle-keymap Helpers/quorvelle-grant-access; do
  [ -f "$root$bundle/Contents/$program" ] && [ "$(stat -c %a "$root$bundle/Contents/$program")" = 755 ] ||
    fail "$bundle/Contents/$program is missing or not mode 755"
done
check "Info.plist" test -f "$root$bundle/Contents/Info.plist"
# The installed command finds its bundle and reads its Info.plist.
answer=$("$root$bundle/Contents/Helpers/quorvelle" --version 2>&1)
[ "$answer" = "Quorvelle $version ($build_number)" ] || fail "quorvelle --version: $answer"

# The command on the PATH: an absolute link into the bundle.
[ -L "$root/usr/bin/quorvelle" ] || fail "/usr/bin/quorvelle is not a link"
[ "$(readlink "$root/usr/bin/quorvelle")" = "$bundle/Contents/Helpers/quorvelle" ] ||
  fail "/usr/bin/quorvelle points at $(readlink "$root/usr/bin/quorvelle")"

# The applications menu entry: valid, its programs and icon where it says.
entry=$root/usr/share/applications/quorvelle.desktop
if ! desktop-file-validate "$entry" >"$work/validate" 2>&1 || [ -s "$work/validate" ]; then
  cat "$work/validate"
  fail "desktop-file-validate"
fi
key() { sed -n "s/^$1=//p" "$entry"; }
for name in Exec TryExec; do
  program=$(key $name | cut -d' ' -f1)
  [ -n "$program" ] && [ -x "$root$program" ] || fail "$name=$(key $name) is not a program of the package"
done
[ "$(key Exec)" = "$bundle/Contents/Helpers/quorvelle" ] || fail "Exec=$(key Exec) is not the command"
icon=$root/usr/share/icons/hicolor/scalable/apps/$(key Icon).svg
[ -f "$icon" ] || fail "Icon=$(key Icon) has no icon in hicolor"
check "the icon is not well-formed SVG" xmllint --noout --nonet "$icon"

# The polkit action: well-formed, and every program it lets pkexec run is ours.
policy=$root/usr/share/polkit-1/actions/com.quorvelle.Quorvelle.policy
check "the polkit policy is not well-formed" xmllint --noout --nonet "$policy"
exec_paths=$(xmllint --nonet --xpath \
  '//annotate[@key="org.freedesktop.policykit.exec.path"]/text()' "$policy" 2>/dev/null)
[ -n "$exec_paths" ] || fail "the polkit policy names no program"
for program in $exec_paths; do
  [ -x "$root$program" ] && [[ "$program" == "$bundle"/* ]] || fail "the polkit policy names $program"
done

# The maintainer scripts are the ones the build configured, and parse.
dpkg-deb -e "$deb" "$work/control"
for script in prerm postrm; do
  cmp -s "$work/control/$script" "$build/packaging/debian/$script" || fail "$script differs from the build's"
  [ -x "$work/control/$script" ] && sh -n "$work/control/$script" || fail "$script is not an executable shell script"
done

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "package $(basename "$deb") checked"
