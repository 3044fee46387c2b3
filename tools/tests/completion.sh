#!/bin/bash
# Completes partly typed command lines with the generated bash and zsh
# completions and checks what each offers: subcommands (as --help lists
# them), options of the command typed so far, values of an option with
# choices, files where a file is taken and directories where a directory is.
#
#   completion.sh TOOL BASH_COMPLETION ZSH_COMPLETION WORK_DIR
set -u
tool=$1 bash_file=$2 zsh_file=$3 work=$4
status=0
fail() {
  echo "completion: $*" >&2
  status=1
}

rm -rf "$work" && mkdir -p "$work/fpath" "$work/dir1" || exit 1
cp "$zsh_file" "$work/fpath/_tarnalert"
touch "$work/dfile.xml"
cd "$work" || exit 1

# The subcommands --help lists.
subcommands() {
  # shellcheck disable=SC2086
  "$tool" $1 --help | awk '/^Subcommands:$/ {on = 1; next} /^$/ {on = 0} on {print $1}' | xargs
}
root=$(subcommands "")
config=$(subcommands config)
[ -n "$root" ] && [ -n "$config" ] || fail "no subcommands in --help"

# Typed line | words it must offer | words it must not offer.
cases=(
  "tarnalert |$root|--help"
  "tarnalert con|config|send"
  "tarnalert config |$config|demo"
  "tarnalert render --con|--config|--comment"
  "tarnalert send --type 74 --c|--criteria --comment|--config"
  "tarnalert audit encode --aux-t|--aux-text14 --aux-text15 --aux-text16|--aux-number1"
  "tarnalert spool forward --|--url --once --watch|--all"
  "tarnalert config check --format |json text|dfile.xml"
  "tarnalert config check --format=|json text|dfile.xml"
  "tarnalert config check --format json d|dfile.xml dir1|json"
  "tarnalert render --config d|dfile.xml dir1|"
  "tarnalert render --html-out d|dir1|dfile.xml"
  "tarnalert audit decode d|dfile.xml dir1|"
)

# judge SHELL LINE OFFERED MUST MUST_NOT
judge() {
  local word
  for word in $4; do
    grep -qw -e "$word" <<<"$3" || fail "$1: '$2' does not offer $word; offered: $(xargs <<<"$3")"
  done
  for word in $5; do
    ! grep -qw -e "$word" <<<"$3" || fail "$1: '$2' offers $word; offered: $(xargs <<<"$3")"
  done
}

# bash: the words as readline splits them (= is a word of its own).
bash_offers() (
  # shellcheck disable=SC1090
  source "$bash_file"
  local line=$1 token
  COMP_WORDS=()
  for token in $line; do
    while [[ $token == *=* ]]; do
      [ -n "${token%%=*}" ] && COMP_WORDS+=("${token%%=*}")
      COMP_WORDS+=("=")
      token=${token#*=}
    done
    [ -n "$token" ] && COMP_WORDS+=("$token")
  done
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$line COMP_POINT=${#line}
  _tarnalert
  printf '%s\n' "${COMPREPLY[@]}"
)
for case in "${cases[@]}"; do
  IFS='|' read -r line must must_not <<<"$case"
  judge bash "$line" "$(bash_offers "$line")" "$must" "$must_not"
done

# zsh: an interactive shell on a pseudo-terminal is sent each line and a TAB,
# then RETURN on an emptied line; compadd, which every completion function
# calls, is wrapped to also write the matches it adds to a file. Keys are
# sent only while the line editor waits at its prompt, which counts the
# commands run.
if ! command -v zsh >/dev/null; then
  fail "zsh is missing; install the Debian package zsh"
  exit 1
fi
for case in "${cases[@]}"; do printf '%s\n' "${case%%|*}"; done >"$work/lines"
cat >"$work/setup.zsh" <<'SETUP'
fpath=($work/fpath $fpath)
autoload -Uz compinit && compinit -u -D
tarnalert() {}
compadd() {
  # A call that asks for the matches rather than adding them is left alone.
  if [[ ${(j: :)@[1,(i)(-|--)]} == *-[OAD]* ]]; then
    builtin compadd "$@"
    return
  fi
  local -a matches
  builtin compadd -O matches "$@"
  print -rl -- $matches >>$capture
  builtin compadd "$@"
}
setopt promptsubst
integer prompts=0
precmd() { (( ++prompts )) }
PS1='prompt-${prompts}> '
SETUP
work=$work timeout 120 zsh -f -c '
  zmodload zsh/zpty || exit 1
  zpty shell "TERM=dumb zsh -f -i"
  zpty -w shell "work=$work; source $work/setup.zsh"
  integer shown=1 n=0
  zpty -r shell screen "*prompt-$shown> *" || exit 1
  while IFS= read -r line; do
    zpty -w shell "capture=$work/zsh-$((++n)); : >\$capture"
    zpty -r shell screen "*prompt-$((++shown))> *" || exit 1
    zpty -w -n shell "$line"$'\''\t\C-e\C-u\n'\''
    zpty -r shell screen "*prompt-$((++shown))> *" || exit 1
  done <$work/lines
  zpty -d shell
' || { fail "zsh did not complete every line"; exit 1; }
n=0
for case in "${cases[@]}"; do
  IFS='|' read -r line must must_not <<<"$case"
  n=$((n + 1))
  judge zsh "$line" "$(cat "$work/zsh-$n" 2>/dev/null)" "$must" "$must_not"
done
exit $status
