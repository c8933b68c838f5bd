#!/usr/bin/env bash
# Cross-builds the batch tool's libraries (libzip, pugixml, SQLite) for mingw-w64 from
# Debian's own source packages, into a prefix in the build tree. zlib comes from
# libz-mingw-w64-dev. A finished prefix is kept: later runs return at once.
#   scripts/build-mingw-deps.sh [PREFIX]   (default build/mingw-deps)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
prefix="${1:-$here/build/mingw-deps}"
stamp="$prefix/.complete"
if [ -f "$stamp" ] && [ -f "$prefix/lib/libsqlite3.a" ]; then
  exit 0
fi
# A prefix finished before SQLite joined it only gains SQLite.
only_sqlite=false
[ -f "$stamp" ] && only_sqlite=true

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo

# Source entries for the suites apt already fetches binaries from, Debian's archive only.
src_list=/etc/apt/sources.list.d/ravelmend-deb-src.sources
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx Sources; then
  tmp="$(mktemp)"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # One stanza per paragraph; only those serving Debian's archive get a source twin.
    awk 'BEGIN { RS=""; ORS="\n\n" }
         /Types:[^\n]*deb/ && /URIs:[^\n]*debian/ && !/Types:[^\n]*deb-src/ {
           sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"$tmp"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    grep -E '^deb [^#]*debian' "$f" | sed 's/^deb /deb-src /' | while read -r line; do
      printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n\n' \
        "$(echo "$line" | awk '{print $2}')" "$(echo "$line" | awk '{print $3}')" \
        "$(echo "$line" | cut -d' ' -f4-)" >>"$tmp"
    done
  done
  if [ ! -s "$tmp" ]; then
    echo "build-mingw-deps: no Debian archive among apt's sources" >&2
    exit 1
  fi
  $sudo install -m 644 "$tmp" "$src_list"
  rm -f "$tmp"
  $sudo apt-get update -qq
fi

work="$prefix.work"
rm -rf "$work"
$only_sqlite || rm -rf "$prefix"
mkdir -p "$work" "$prefix"
cd "$work"
started=$(date +%s)
log="$work/build.log"
# Quiet unless something fails; then the end of the log says why.
quiet() {
  if ! "$@" >>"$log" 2>&1; then
    echo "build-mingw-deps: failed: $*" >&2
    tail -30 "$log" >&2
    exit 1
  fi
}
# SQLite, for the journals and indexes: the one-file amalgamation generated from the source
# package (its generators run natively, with tclsh) and compiled alone into a static library.
build_sqlite() {
  apt-get source -qq sqlite3 >/dev/null 2>&1 || apt-get source sqlite3
  local src
  src="$(find . -maxdepth 1 -type d -name 'sqlite3-*' | head -1)"
  mkdir -p build-sqlite
  (cd build-sqlite && quiet "../$src/configure" --disable-tcl --disable-readline &&
    quiet make -j2 sqlite3.c)
  quiet x86_64-w64-mingw32-gcc-posix -O2 -c build-sqlite/sqlite3.c -o build-sqlite/sqlite3.o \
    -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_OMIT_DEPRECATED \
    -DSQLITE_DQS=0 -DSQLITE_DEFAULT_MEMSTATUS=0
  mkdir -p "$prefix/lib" "$prefix/include"
  quiet x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" build-sqlite/sqlite3.o
  cp build-sqlite/sqlite3.h "$src/src/sqlite3ext.h" "$prefix/include/" 2>/dev/null ||
    cp build-sqlite/sqlite3.h "$prefix/include/"
  head -1 "$src/debian/changelog" >>"$prefix/SOURCES"
}

if $only_sqlite; then
  build_sqlite
  rm -rf "$work"
  echo "build-mingw-deps: SQLite for mingw-w64 in $prefix ($(($(date +%s) - started)) s)"
  exit 0
fi

# Checked against the signed archive index and unpacked with Debian's patches applied.
apt-get source -qq libzip pugixml >/dev/null 2>&1 || apt-get source libzip pugixml

toolchain="$work/mingw.cmake"
cat >"$toolchain" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC

common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -Wno-dev)

pugi_src="$(find . -maxdepth 1 -type d -name 'pugixml-*' | head -1)"
quiet cmake -S "$pugi_src" -B build-pugixml "${common[@]}" -DPUGIXML_BUILD_TESTS=OFF
quiet cmake --build build-pugixml -j2
quiet cmake --install build-pugixml

# libzip with zlib only: no crypto library, no bzip2/lzma/zstd, no tools.
zip_src="$(find . -maxdepth 1 -type d -name 'libzip-*' | head -1)"
quiet cmake -S "$zip_src" -B build-libzip "${common[@]}" \
  -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
  -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
  -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
  -DLIBZIP_DO_INSTALL=ON
quiet cmake --build build-libzip -j2
quiet cmake --install build-libzip

{
  for d in "$work"/*/debian/changelog; do head -1 "$d"; done
} >"$prefix/SOURCES"
build_sqlite
rm -rf "$work"
touch "$stamp"
echo "build-mingw-deps: libzip, pugixml and SQLite for mingw-w64 in $prefix ($(($(date +%s) - started)) s)"
