#!/usr/bin/env bash
# Builds what Windows users download, into dist/:
#   Ravelmend-<version>-setup.exe     the installer (per user, no administrator rights)
#   Ravelmend-<version>-portable.zip  both programs, README and licence, run from anywhere
#   Ravelmend-<version>-SHA256SUMS.txt
# The version is the CMake project version. Uses the mingw build (build/mingw).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/bootstrap.sh
build=${RAVEL_BUILD_DIR:-$root/build/mingw}
dist=${RAVEL_DIST_DIR:-$root/dist}

full=$(sed -n 's/^project(Ravelmend VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
version=$(echo "$full" | cut -d. -f1-3)
[ -n "$version" ] || { echo "package: no project version in CMakeLists.txt" >&2; exit 1; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset mingw >/dev/null
fi
cmake --build "$build" --target Ravelmend ravelmend-batch >/dev/null

stage=$build/package/stage
rm -rf "$stage"
mkdir -p "$stage" "$dist"
# Debug information stays in the build; users get the stripped programs.
x86_64-w64-mingw32-strip -o "$stage/Ravelmend.exe" "$build/Ravelmend.exe"
x86_64-w64-mingw32-strip -o "$stage/ravelmend-batch.exe" "$build/ravelmend-batch.exe"
# Text files with Windows line ends, so Notepad shows them right everywhere.
sed 's/$/\r/' README.md >"$stage/README.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
# One time stamp for every file, so that the zip depends only on its contents.
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)
touch -d "@$stamp" "$stage"/*

setup="$dist/Ravelmend-$version-setup.exe"
portable="$dist/Ravelmend-$version-portable.zip"
size_kb=$(du -k -c "$stage"/* | tail -1 | cut -f1)
makensis -V2 -NOCD -DVERSION="$version" -DFILEVERSION="$full" -DSTAGE="$stage" \
  -DOUTFILE="$setup" -DICON="$root/src/win32/app/Ravelmend.ico" -DSIZE_KB="$size_kb" \
  installer/ravelmend.nsi

# The zip holds one folder named after the release.
rm -f "$portable"
folder=$build/package/Ravelmend-$version
rm -rf "$folder"
mkdir -p "$folder"
cp -p "$stage"/Ravelmend.exe "$stage"/ravelmend-batch.exe "$stage"/README.txt \
  "$stage"/LICENSE.txt "$folder/"
touch -d "@$stamp" "$folder"
(cd "$build/package" && zip -q -X -r "$portable" "Ravelmend-$version")

sums="$dist/Ravelmend-$version-SHA256SUMS.txt"
(cd "$dist" && sha256sum "$(basename "$setup")" "$(basename "$portable")" >"$sums")
for f in "$setup" "$portable" "$sums"; do
  printf '%10d  %s\n' "$(stat -c %s "$f")" "$f"
done
