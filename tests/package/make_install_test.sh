#!/usr/bin/env bash
# make install with DESTDIR and PREFIX puts exactly the files of installed-files.txt under
# DESTDIR/PREFIX and nothing elsewhere; the installed tool runs; make uninstall removes every
# one of them and the folders the install created (also after a second install), and leaves a
# folder that was there before and a file that is not its own.
#   make_install_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source="$1"
build="$2"
source "$(dirname "${BASH_SOURCE[0]}")/package_support.sh"

if [[ ! -x "$build/src/ui/sarnavel" ]]; then
  echo "SKIP: the desktop program is not built in $build (Qt 6 missing or SARNAVEL_GUI=OFF), so an install is not whole"
  exit 77
fi

dest="$scratch/dest"
prefix="/opt/sarnavel-install-test"
# A folder of the prefix that exists already, with a file of someone else's.
mkdir -p "$dest$prefix/share/man/man1"
echo "not sarnavel's" > "$dest$prefix/share/man/man1/other.1"
(cd "$dest" && find . -printf '%P\n' | LC_ALL=C sort) > "$scratch/before"

# `-o build`: install what the build folder holds, without configuring or building it again.
# Twice: the second install finds every folder in place, and one uninstall still removes them.
for round in 1 2; do
  make -C "$source" --no-print-directory -o build install BUILD="$build" PREFIX="$prefix" DESTDIR="$dest" > "$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; fail "make install ($round) failed"; finish; }
done
[[ ! -e "$prefix" ]] || fail "make install wrote into $prefix itself, outside DESTDIR"
while IFS= read -r file; do
  [[ "$file" == "$dest$prefix/"* ]] || fail "install_files.txt names a file outside DESTDIR/PREFIX: $file"
done < "$build/install_files.txt"
expected_files > "$scratch/expected"
(cd "$dest$prefix" && find . -type f ! -path ./share/man/man1/other.1 -printf '%P\n' | LC_ALL=C sort) > "$scratch/actual"
compare_lists "make install" "$scratch/expected" "$scratch/actual"
shown="$("$dest$prefix/bin/sarnavel-cli" --version)" || fail "the installed sarnavel-cli does not run"
[[ "$shown" == sarnavel-cli* ]] || fail "the installed sarnavel-cli --version says '$shown'"

make -C "$source" --no-print-directory uninstall BUILD="$build" > "$scratch/uninstall.log" 2>&1 ||
  { cat "$scratch/uninstall.log" >&2; fail "make uninstall failed"; }
(cd "$dest" && find . -printf '%P\n' | LC_ALL=C sort) > "$scratch/after"
cmp -s "$scratch/before" "$scratch/after" ||
  fail "after make uninstall the folder differs from before the install: $(diff "$scratch/before" "$scratch/after" | grep '^[<>]' | tr '\n' ' ')"
[[ "$(cat "$dest$prefix/share/man/man1/other.1" 2>/dev/null)" == "not sarnavel's" ]] || fail "make uninstall touched a file not its own"

finish
