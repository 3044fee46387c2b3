#!/bin/bash
# Installs the build into a private prefix and checks what an operator gets
# besides the library: the man page (found by man, rendered without a
# warning), both shell completions, the systemd units for the system and for
# users (they verify, name the installed tool and keep their sandbox), and the
# examples (the tool accepts the configuration; every key of the settings
# file is a known setting).
#
#   check-install.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -u
build=$1 source=$2 work=$3
prefix=$work/prefix
status=0
fail() {
  echo "check-install: $*" >&2
  status=1
}
need() {
  command -v "$1" >/dev/null || {
    echo "check-install: $1 is missing; install the Debian package $2" >&2
    exit 1
  }
}
need man man-db
need groff groff-base
need systemd-analyze systemd

rm -rf "$work" && mkdir -p "$work/runtime" && chmod 700 "$work/runtime" || exit 1
"${CMAKE:-cmake}" --install "$build" --prefix "$prefix" >"$work/install.log" || {
  cat "$work/install.log" >&2
  exit 1
}
units=(tarnalert-outbox.service tarnalert-outbox.timer tarnalert-forward.service)
for file in bin/tarnalert share/man/man1/tarnalert.1.gz share/bash-completion/completions/tarnalert \
  share/zsh/site-functions/_tarnalert share/doc/tarnalert/examples/alert_config.xml \
  share/doc/tarnalert/examples/settings.conf share/doc/tarnalert/settings.md \
  "${units[@]/#/lib/systemd/system/}" "${units[@]/#/lib/systemd/user/}"; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done

# The man page as man finds it under the prefix.
export MANPATH=$prefix/share/man
page=$(man -w tarnalert) || fail "man does not find tarnalert(1) under $MANPATH"
warnings=$(MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man warns about $page: $warnings"

# Units: systemd-analyze prints nothing for a sound unit. The exposure
# levels (0 to 10) hold the sandbox; a user manager has no file-system
# namespaces, hence its higher level.
for instance in system user; do
  dir=$prefix/lib/systemd/$instance
  for unit in "${units[@]}"; do
    grep -q "^ExecStart=$prefix/bin/tarnalert " "$dir/$unit" 2>/dev/null ||
      [[ $unit == *.timer ]] || fail "$instance/$unit does not run $prefix/bin/tarnalert"
  done
  # The tool reads the settings files and refuses one others could change;
  # an EnvironmentFile= would hand the same lines over unchecked.
  ! grep -H '^EnvironmentFile=' "${units[@]/#/$dir/}" 2>/dev/null ||
    fail "$instance units pass settings files as the environment, past the tool's check"
  flags=() threshold=20
  [ $instance = user ] && flags=(--user) threshold=65
  output=$(XDG_RUNTIME_DIR=$work/runtime systemd-analyze "${flags[@]}" verify \
    "${units[@]/#/$dir/}" 2>&1)
  [ -z "$output" ] || fail "$instance units do not verify: $output"
  XDG_RUNTIME_DIR=$work/runtime systemd-analyze "${flags[@]}" security --offline=true \
    --threshold=$threshold "$dir"/*.service >"$work/security-$instance.txt" 2>&1 ||
    fail "$instance units are exposed beyond $threshold/10:
$(grep -e '^→' -e '✗' "$work/security-$instance.txt")"
done

# Examples.
examples=$prefix/share/doc/tarnalert/examples
TARNALERT_STATE_DIR=$work/state "$prefix/bin/tarnalert" config check "$examples/alert_config.xml" \
  >/dev/null || fail "the installed tool rejects the installed example configuration"
keys=$(sed -n 's/^#\{0,1\}\(TARNALERT_[A-Z0-9_]*\)=.*/\1/p' "$examples/settings.conf")
[ -n "$keys" ] || fail "settings.conf sets nothing"
for key in $keys; do
  grep -q "^| \`$key\` |" "$source/docs/settings.md" || fail "settings.conf sets $key, no setting"
done
exit $status
