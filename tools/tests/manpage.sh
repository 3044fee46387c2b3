#!/bin/bash
# Checks the generated man page against the tool it documents: groff renders
# it without a warning, and for every command that --help knows the page has
# a section with the command's description, each of its options and
# arguments, and its exit codes.
#
#   manpage.sh TOOL PAGE
set -u
tool=$1 page=$2
status=0
fail() {
  echo "manpage: $*" >&2
  status=1
}
if ! command -v groff >/dev/null; then
  echo "manpage: groff is missing; install the Debian package groff-base" >&2
  exit 1
fi

warnings=$(groff -man -ww -Tutf8 -z "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns about $page: $warnings"
# One line per paragraph, no formatting, no hyphenation.
text=$(groff -man -Tascii -P-cbou -rLL=4000n -rHY=0 "$page" 2>&1)

# section PATH: the text of the page's section on a command ("" is the tool
# itself, whose options are under OPTIONS), spaces squeezed.
section() {
  if [ -z "$1" ]; then
    awk '/^OPTIONS$/ {on = 1; next} /^[A-Z]/ {on = 0} on' <<<"$text"
  else
    awk -v heading="   $1" '$0 == heading {on = 1; next} /^   [a-z]/ || /^[A-Z]/ {on = 0} on' \
      <<<"$text"
  fi | tr -s ' '
}

# check PATH: compares `tarnalert PATH --help` with the page, then descends.
check() {
  local path=$1 help part name line sub
  # shellcheck disable=SC2086
  help=$("$tool" $path --help) || {
    fail "tarnalert $path --help failed"
    return
  }
  local body
  body=$(section "$path")
  if [ -z "$body" ]; then
    fail "no section for '$path'"
    return
  fi
  if [ -n "$path" ]; then
    line=$(head -1 <<<"$help" | tr -s ' ')
    [[ $body == *"$line"* ]] || fail "'$path': description missing: $line"
  fi
  # Options ("-h,--help", "--format TEXT:{text,json}") and positionals ("FILE TEXT").
  while read -r part _; do
    for name in ${part//,/ }; do
      [ -n "$path" ] && [[ $name == -h || $name == --help ]] && continue
      grep -q -e "^ $name\b" -e "^ .*, $name\b" <<<"$body" || fail "'$path': $name missing"
    done
  done < <(awk '/^(Options|Positionals):$/ {on = 1; next} /^$/ {on = 0} on' <<<"$help")
  line=$(awk '/^Exit codes:/ {print}' <<<"$help" | tr -s ' ')
  [[ -z $line || $body == *"$line"* ]] || fail "'$path': exit codes missing: $line"
  while read -r sub _; do
    check "${path:+$path }$sub"
  done < <(awk '/^Subcommands:$/ {on = 1; next} /^$/ {on = 0} on' <<<"$help")
}
check ""
for code in 0 1 2; do
  awk '/^EXIT STATUS$/ {on = 1; next} /^[A-Z]/ {on = 0} on' <<<"$text" | grep -Eq "^ +$code( |$)" ||
    fail "exit status $code missing"
done
exit $status
