#!/usr/bin/env bash
# Builds the Debian package with scripts/build-deb (lintian errors fail it), with the network
# cut off where the machine allows it, unpacks it into a scratch root with dpkg -x and tries
# what it installed: the command-line tool converts a copy of the sample site, the manual
# pages render without warnings, the desktop entry and the AppStream file validate, the icons
# have their sizes, the completion offers what the program accepts.
#   deb_test.sh SOURCE_DIR CMAKE_VERSION
set -uo pipefail
source="$1"
version="$2"
source "$(dirname "${BASH_SOURCE[0]}")/package_support.sh"

for tool in dpkg-buildpackage dh; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing, so the Debian package cannot be built here (scripts/setup-deps installs dpkg-dev and debhelper)"
    exit 77
  fi
done

# One version everywhere: CMake's, the changelog's upstream part, the newest AppStream release.
changelog="$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)"
[[ "${changelog%-*}" == "$version" ]] || fail "debian/changelog has version $changelog, CMakeLists.txt $version"
metainfo_release="$(grep -o -m1 '<release version="[^"]*"' "$source/resources/io.github.sarnavel.Sarnavel.metainfo.xml" | cut -d'"' -f2)"
[[ "$metainfo_release" == "$version" ]] || fail "the metainfo's newest release is $metainfo_release, CMakeLists.txt says $version"

# --- Build, without the network where a network namespace can be made -------------------------
offline=()
if unshare --net true 2>/dev/null; then
  offline=(unshare --net)
else
  echo "note: unshare --net is not allowed here; the package is built with the network as it is"
fi
if ! "${offline[@]}" "$source/scripts/build-deb" "$scratch/out" > "$scratch/build.log" 2>&1; then
  tail -n 60 "$scratch/build.log" >&2
  fail "scripts/build-deb failed (the last lines of its output are above)"
  finish
fi
grep -E '^[EWI]: ' "$scratch/build.log" || true
arch="$(dpkg-architecture -q DEB_HOST_ARCH)"
deb="$scratch/out/sarnavel_${changelog}_${arch}.deb"
[[ -f "$deb" ]] || { fail "no $deb"; finish; }
if grep -E -q 'Start [0-9]+: |gtest|ctest' "$scratch/build.log"; then fail "the package build ran or built tests"; fi

# --- What the package declares ----------------------------------------------------------------
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libc6 libicu libqt6core6 libqt6widgets6 qt6-qpa-plugins; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
recommends="$(dpkg-deb -f "$deb" Recommends)"
for package in fonts-noto-cjk qt6-translations-l10n; do
  [[ "$recommends" == *"$package"* ]] || fail "Recommends lacks $package: $recommends"
done

# --- Its files --------------------------------------------------------------------------------
root="$scratch/root"
dpkg -x "$deb" "$root"
expected_files > "$scratch/expected"
(cd "$root/usr" && find . -type f -printf '%P\n' | grep -v '^share/doc/' | sed 's/\.gz$//' | LC_ALL=C sort) > "$scratch/actual"
compare_lists "the package" "$scratch/expected" "$scratch/actual"
[[ -f "$root/usr/share/doc/sarnavel/copyright" ]] && grep -q '^License: MIT' "$root/usr/share/doc/sarnavel/copyright" ||
  fail "no copyright file naming the MIT licence"
[[ -f "$root/usr/share/doc/sarnavel/changelog.Debian.gz" ]] || fail "no changelog.Debian.gz"

for program in sarnavel sarnavel-cli; do
  libraries="$(ldd "$root/usr/bin/$program")"
  if grep -q 'not found' <<< "$libraries"; then fail "$program lacks a shared library: $(grep 'not found' <<< "$libraries")"; fi
done

# --- The installed command-line tool: its version, and a conversion of the sample site --------
cli="$root/usr/bin/sarnavel-cli"
shown="$("$cli" --version)"
[[ "$shown" == "sarnavel-cli $version" ]] || fail "sarnavel-cli --version says '$shown', CMakeLists.txt $version"

site="$scratch/site"
cp -R "$source/samples/site" "$site"
if ! "$cli" -t utf-8 "$site" > "$scratch/log" 2>&1; then fail "converting the sample site failed: $(cat "$scratch/log")"; fi
grep -q '^14個の成功、0個の失敗。$' "$scratch/log" || fail "the log does not count 14 successes: $(cat "$scratch/log")"
# (What becomes of each file and its backup is the run's tests'; here, that the installed tool works.)
while IFS= read -r -d '' file; do
  iconv -f UTF-8 -t UTF-8 "$file" > /dev/null 2>&1 || fail "${file#"$site/"} is not UTF-8 after the conversion"
done < <(find "$site" -type f \( -name '*.html' -o -name '*.css' -o -name '*.js' \) -print0)
grep -q '<meta http-equiv="Content-Type" content="text/html; charset=UTF-8">' "$site/index.html" ||
  fail "index.html does not declare UTF-8"
grep -q 'こもれび珈琲焙煎所' "$site/index.html" || fail "index.html lost its Japanese title"

# --- The desktop program starts far enough to find there is no display -------------------------
message="$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$root/usr/bin/sarnavel" 2>&1)"
status=$?
[[ $status -eq 1 && "$message" == "プログラムはこのOSに対応していません。" ]] ||
  fail "sarnavel without a display: status $status, '$message'"

# --- Manual pages, desktop entry, AppStream, icons ----------------------------------------------
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 > /dev/null)"
  [[ -z "$warnings" ]] || fail "${page##*/} renders with warnings: $warnings"
  lexgrog "$page" > /dev/null || fail "lexgrog cannot read the NAME section of ${page##*/}"
done
# Every option of --help has its entry (a .TP tag) under OPTIONS in the manual page, or under
# TAKING A CONVERSION BACK for the options of that mode.
tags="$(zcat "$root/usr/share/man/man1/sarnavel-cli.1.gz" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' |
  awk '/^\.SH/ { options = ($2 == "OPTIONS" || $0 ~ /TAKING A CONVERSION BACK/) }
       options && tag { print } { tag = options && /^\.TP/ }')"
for option in $("$cli" --help | grep -o -E -- '--[a-z][a-z-]*' | sort -u); do
  grep -q -E -- "[ \"]$option([ \"=]|\$)" <<< "$tags" || fail "sarnavel-cli(1) has no entry for $option under OPTIONS"
done
# The exit statuses the manual page lists are those --help names, and every installed path the
# manual pages name is in the package.
help_statuses="$(LC_ALL=C "$cli" --help | sed -n '/^Exit status:/,/^$/p' | grep -o -E '\b[0-9]+\b' | grep -v -x 128 | sort -u)"
man_statuses="$(zcat "$root/usr/share/man/man1/sarnavel-cli.1.gz" | sed -e 's/\\-/-/g' |
  awk '/^\.SH/ { s = ($2 == "\"EXIT") } s && /^\.B [0-9]+$/ { print $2 }' | sort -u)"
[[ "$help_statuses" == "$man_statuses" ]] ||
  fail "exit statuses: --help names $(echo $help_statuses), sarnavel-cli(1) $(echo $man_statuses)"
for path in $(zcat "$root"/usr/share/man/man1/*.1.gz | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' |
  grep -o -E '/usr/share/[^ )"]*[^ )".,;]' | sort -u); do
  [[ -e "$root$path" ]] || fail "a manual page names $path, which the package does not install"
done
# Hints too: two main categories, for one, put the program twice into a menu.
said="$(desktop-file-validate "$root/usr/share/applications/sarnavel.desktop" 2>&1)" || fail "desktop-file-validate: $said"
[[ -z "$said" ]] || fail "desktop-file-validate: $said"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.sarnavel.Sarnavel.metainfo.xml" ||
  fail "appstreamcli validate"
for size in 32 48 64 128 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/sarnavel.png"
  [[ -f "$png" ]] || continue
  # Width and height: the two big-endian 32-bit numbers at offset 16 of the PNG header.
  read -r -a header < <(od -An -tu1 -j16 -N8 "$png")
  width=$(((header[0] << 24) | (header[1] << 16) | (header[2] << 8) | header[3]))
  height=$(((header[4] << 24) | (header[5] << 16) | (header[6] << 8) | header[7]))
  [[ $width -eq $size && $height -eq $size ]] || fail "the ${size}x${size} icon is ${width}x${height}"
done

# --- Bash completion: every option of --help, and only names the program accepts ---------------
if [[ -f /usr/share/bash-completion/bash_completion ]]; then
  complete_words() {
    PATH="$root/usr/bin:$PATH" bash -c '
      source /usr/share/bash-completion/bash_completion
      source "$1"; shift
      COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
      _sarnavel_cli sarnavel-cli "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
      printf "%s\n" "${COMPREPLY[@]}"' _ "$root/usr/share/bash-completion/completions/sarnavel-cli" "$@"
  }
  offered="$(complete_words sarnavel-cli --)"
  for option in $("$cli" --help | grep -o -E -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -x -- "$option" <<< "$offered" || fail "completion does not offer $option"
  done
  for option in -t -f -n; do
    values="$(complete_words sarnavel-cli "$option" '')"
    [[ -n "$values" ]] || fail "completion offers nothing after $option"
    for value in $values; do
      "$cli" "$option" "$value" --version > /dev/null 2>&1 || fail "completion offers '$option $value', which sarnavel-cli refuses"
    done
  done
else
  fail "/usr/share/bash-completion/bash_completion is missing (scripts/setup-deps installs bash-completion)"
fi

finish
