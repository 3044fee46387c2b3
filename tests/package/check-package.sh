#!/bin/bash
# Makes the Debian package with CPack, unpacks it into a private root and
# runs the tool from there: it must find the packaged library by itself,
# not one installed on this machine. Checks the package's dependencies and
# contents, and that lintian finds no error.
#
#   check-package.sh BUILD_DIR WORK_DIR
set -u
build=$1 work=$2
root=$work/root
status=0
fail() {
  echo "check-package: $*" >&2
  status=1
}
for tool in dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev lintian:lintian; do
  command -v "${tool%%:*}" >/dev/null || {
    echo "check-package: ${tool%%:*} is missing; install the Debian package ${tool#*:}" >&2
    exit 1
  }
done

rm -rf "$work" && mkdir -p "$root" || exit 1
"${CPACK:-cpack}" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  exit 1
}
deb=$(ls "$work"/out/*.deb 2>/dev/null)
[ "$(wc -w <<<"$deb")" = 1 ] || {
  echo "check-package: expected one package in $work/out, found: $deb" >&2
  exit 1
}
dpkg-deb -x "$deb" "$root" || exit 1

depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libstdc++6 libcurl4 libgmime-3.0-0 libpugixml1v5; do
  [[ ", $depends" == *", $package "* ]] || fail "Depends lacks $package: $depends"
done

units=(tarnalert-outbox.service tarnalert-outbox.timer tarnalert-forward.service)
for file in bin/tarnalert share/man/man1/tarnalert.1.gz share/bash-completion/completions/tarnalert \
  share/zsh/site-functions/_tarnalert share/doc/tarnalert/examples/alert_config.xml \
  share/doc/tarnalert/examples/settings.conf share/doc/tarnalert/copyright \
  share/doc/tarnalert/changelog.gz include/tarnalert.h include/tarnalert/version.h \
  lib/cmake/tarnalert/tarnalertConfig.cmake lib/pkgconfig/tarnalert.pc \
  "${units[@]/#/lib/systemd/system/}" "${units[@]/#/lib/systemd/user/}"; do
  [ -f "$root/usr/$file" ] || fail "the package lacks /usr/$file"
done
for unit in "$root"/usr/lib/systemd/*/*.service; do
  grep -q '^ExecStart=/usr/bin/tarnalert ' "$unit" || fail "$unit does not run /usr/bin/tarnalert"
done

tool=$root/usr/bin/tarnalert
library=$(env -u LD_LIBRARY_PATH ldd "$tool" | awk '/libtarnalert/ {print $3}')
[[ $library == "$root"/* ]] || fail "the unpacked tool loads the library from '$library'"
version=$(env -u LD_LIBRARY_PATH "$tool" --version) || fail "the unpacked tool does not run"
[ "$version" = "tarnalert $(dpkg-deb -f "$deb" Version)" ] || fail "version '$version'"
env -u LD_LIBRARY_PATH TARNALERT_STATE_DIR="$work/state" "$tool" config check \
  "$root/usr/share/doc/tarnalert/examples/alert_config.xml" >/dev/null ||
  fail "the unpacked tool rejects the packaged example configuration"

lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 ||
  fail "lintian: $(cat "$work/lintian.txt")"
exit $status
