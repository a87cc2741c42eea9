#!/usr/bin/env bash
# The demo from a shell: starts hyrnd on a socket in a temporary folder, makes every call of
# hyrn_calls.txt with hyrn (task operations with --wait) and one call whose error comes in
# German, prints each command with its answer, stops the daemon and ends with
# "<N> calls, <M> failures". Exits 0 only when every call ended
# as expected and every operation of the API was called.
#   hyrn_demo.sh HYRND HYRN [CALLS]
set -u
HYRND="$1"
HYRN="$2"
CALLS="${3:-$(dirname "${BASH_SOURCE[0]}")/hyrn_calls.txt}"

dir="$(mktemp -d /tmp/hyrn-demo-XXXXXX)"
socket="$dir/hyrnd.sock"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
"$HYRND" --listen "unix:$socket" --catalogue "$root/runtime/l10n/de.json" \
  --catalogue "$root/examples/provider/l10n/de.json" 2>"$dir/hyrnd.log" &
daemon=$!
stop() {
  kill -TERM "$daemon" 2>/dev/null && wait "$daemon"
  rm -rf "$dir"
}
trap stop EXIT
for _ in $(seq 100); do [[ -S "$socket" ]] && break; sleep 0.05; done
hyrn() { "$HYRN" --connect "unix:$socket" "$@"; }

# The exit code of an error name (docs/cli.md).
declare -A CODE=([invalid_argument]=3 [not_found]=4 [already_exists]=5
  [not_allowed_in_current_state]=5 [unauthenticated]=6 [service_unavailable]=7 [timed_out]=8)

echo "hyrnd serves the example provider on $socket; its hosts are host-01 (its own), host-02"
echo "and host-03. Each call is shown as the hyrn command, then its answer or error."
calls=0
failures=0
declare -A called=()
while read -r expected target input; do
  [[ -z "$expected" || "$expected" == \#* ]] && continue
  calls=$((calls + 1))
  called["$target"]=1
  args=(call "$target" -d "$input")
  [[ "$target" == *'$task' ]] && args+=(--wait)
  echo
  echo "\$ hyrn call '$target' -d '$input'${args[4]:+ --wait}"
  answer="$(hyrn "${args[@]}" 2>"$dir/err")"
  code=$?
  [[ -n "$answer" ]] && echo "$answer"
  grep -v '^progress ' "$dir/err"
  want=0
  [[ "$expected" != ok* ]] && want="${CODE[$expected]:-1}"
  text="${expected#ok:}"
  if [[ "$code" != "$want" ]]; then
    echo "FAILED: expected ${expected%%:*} (exit $want), got exit $code"
    failures=$((failures + 1))
  elif [[ "$expected" == ok:* && "$(tr -d ' \n' <<<"$answer")" != *"$text"* ]]; then
    echo "FAILED: the answer does not contain $text"
    failures=$((failures + 1))
  fi
done <"$CALLS"

# The same error in the language the caller asks for.
calls=$((calls + 1))
echo
echo "\$ hyrn --locale de_DE call com.norval.hyrn.host_settings.config/get -d '{\"host\":\"host-09\"}'"
hyrn --locale de_DE call com.norval.hyrn.host_settings.config/get -d '{"host":"host-09"}' \
  2>"$dir/err"
code=$?
cat "$dir/err"
if [[ "$code" != "${CODE[not_found]}" ]] || ! grep -q 'Der Host host-09 ist nicht bekannt' "$dir/err"; then
  echo "FAILED: expected not_found in German (exit ${CODE[not_found]}), got exit $code"
  failures=$((failures + 1))
fi

# Every operation of the API packages (not the runtime's own services) must have been called.
missing=0
operations=0
while IFS= read -r line; do
  if [[ "$line" != " "* ]]; then service="$line"; continue; fi
  [[ "$service" == com.norval.ormi.* ]] && continue
  name="$(awk '{print ($3 != "" ? substr($3, 1, length($3) - 1) : $1)}' <<<"$line")"
  operations=$((operations + 1))
  if [[ -z "${called[$service/$name]:-}" ]]; then
    echo "not called: $service/$name"
    missing=$((missing + 1))
  fi
done < <(hyrn list)
echo
echo "$((operations - missing)) of $operations operations exercised"
echo "$calls calls, $failures failures"
[[ "$failures" == 0 && "$missing" == 0 && "$operations" -gt 0 ]]
