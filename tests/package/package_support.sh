# Helpers of the package tests (sourced): a scratch folder removed at exit, failures counted
# so that one run names all of them, and the list of files an installation must hold.

scratch="$(mktemp -d "${TMPDIR:-/tmp}/sarnavel-package-test-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

finish() {
  if [[ $failures -gt 0 ]]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

# The relative paths of tests/package/installed-files.txt, sorted.
expected_files() {
  grep -v -e '^#' -e '^$' "$(dirname "${BASH_SOURCE[0]}")/installed-files.txt" | LC_ALL=C sort
}

# Compares two sorted lists given as files; names each file that is only in one of them.
compare_lists() {
  local what="$1" expected="$2" actual="$3"
  local missing extra
  missing="$(LC_ALL=C comm -23 "$expected" "$actual")"
  extra="$(LC_ALL=C comm -13 "$expected" "$actual")"
  [[ -z "$missing" ]] || fail "$what lacks: $(echo $missing)"
  [[ -z "$extra" ]] || fail "$what holds more than installed-files.txt: $(echo $extra)"
}
