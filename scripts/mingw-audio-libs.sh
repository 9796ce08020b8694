#!/usr/bin/env bash
# Builds the audio libraries brevox-cli.exe links, once per machine, and
# prints their install prefix (for cmake -DBREVOX_MINGW_AUDIO=PREFIX).
#
# libsndfile (with FLAC, Ogg, Vorbis and Opus) and libsoxr come from Debian's
# source packages, at the versions the Linux build links (those of the
# installed -dev packages), with Debian's patches, cross-compiled with
# mingw-w64 as static libraries without their programs, tests and docs.
# They go into ${XDG_CACHE_HOME:-~/.cache}/brevox/mingw-audio-VERSIONS-HASH,
# HASH covering this script, the toolchain file and the compiler: a change of
# any of them builds anew, in a folder of its own. Later runs only print it.
# PREFIX/versions names each source package and its version, and
# PREFIX/share/licenses holds their Debian copyright files, for the zip.
#
# Usage: scripts/mingw-audio-libs.sh      (progress on standard error)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" build cli windows mingw-audio >&2

# Source package, and the -dev package of the Linux build that fixes its
# version, in build order.
libs=(libogg:libogg-dev flac:libflac-dev libvorbis:libvorbis-dev opus:libopus-dev
  libsndfile:libsndfile1-dev libsoxr:libsoxr-dev)
toolchain=$root/cmake/mingw-w64-x86_64.cmake

declare -A version
key=""
for lib in "${libs[@]}"; do
  src=${lib%%:*}
  version[$src]=$(dpkg-query -W -f='${source:Version}' "${lib#*:}")
  key+="$src${version[$src]}-"
done
hash=$({ cat "$0" "$toolchain"; x86_64-w64-mingw32-gcc-posix --version; } | sha256sum | cut -c1-8)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/brevox
prefix=$cache/mingw-audio-$key$hash
if [[ -f $prefix/done ]]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
exec 9>"$cache/mingw-audio.lock"
flock 9  # another script may be building the same folder
if [[ -f $prefix/done ]]; then
  echo "$prefix"
  exit 0
fi

# apt fetches source packages from the same archive as the binary ones once
# a deb-src entry exists; it is written in a file of its own.
if ! apt-cache showsrc libsoxr 2>/dev/null | grep -q '^Package:'; then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo=sudo
  echo "mingw-audio-libs.sh: enabling Debian's source packages for apt" >&2
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  fi
  $sudo apt-get update -qq
fi

work=$(mktemp -d /tmp/brevox-mingw-audio.XXXXXX)
trap 'rm -rf "$work"' EXIT
rm -rf "$prefix"
echo "mingw-audio-libs.sh: building ${key%-} into $prefix" >&2
start=$SECONDS

# Each library is found by the next through the prefix only, never through
# the build machine's own libraries.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
build() {  # build SOURCE_PACKAGE CMAKE_OPTION...
  local src=$1 log=$work/$1.log t=$SECONDS
  shift
  # opus 1.3.1's tarball lacks opus_buildtype.cmake, which only sets a
  # default build type. The flags are Debian's own, less the hardening that
  # mingw-w64 would need libssp for; no build path goes into the objects.
  (
    cd "$work" &&
      apt-get source --download-only "$src=${version[$src]}" &&
      dpkg-source -x "${src}_${version[$src]#*:}.dsc" "$src" &&
      { [[ $src != opus ]] || touch opus/opus_buildtype.cmake; } &&
      cmake -S "$src" -B "$src/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DBREVOX_MINGW_AUDIO="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS="-O2 -ffile-prefix-map=$work/=" -DBUILD_SHARED_LIBS=OFF "$@" &&
      cmake --build "$src/build" -j2 &&
      cmake --install "$src/build" &&
      install -D -m 644 "$src/debian/copyright" "$prefix/share/licenses/$src.copyright"
  ) >"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "mingw-audio-libs.sh: $src failed (log above)" >&2; exit 1; }
  echo "  $src ${version[$src]}: $((SECONDS - t)) s" >&2
}

build libogg -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
build flac -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF \
  -DINSTALL_MANPAGES=OFF -DWITH_FORTIFY_SOURCE=OFF -DWITH_STACK_PROTECTOR=OFF
build libvorbis
build opus -DOPUS_STACK_PROTECTOR=OFF -DOPUS_BUILD_PROGRAMS=OFF -DBUILD_TESTING=OFF
# The codecs' own CMake packages carry their static-linking definitions
# (FLAC__NO_DLL), which libsndfile's find modules would leave out.
build libsndfile -DCMAKE_FIND_PACKAGE_PREFER_CONFIG=ON -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=OFF \
  -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF
build libsoxr -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF
# libsoxr writes its pkg-config file for other systems only; this is the same.
cat >"$prefix/lib/pkgconfig/soxr.pc" <<EOF
prefix=$prefix
Name: soxr
Description: High quality, one-dimensional sample-rate conversion library
Version: ${version[libsoxr]%-*}
Libs: -L\${prefix}/lib -lsoxr
Cflags: -I\${prefix}/include
EOF

for lib in "${libs[@]}"; do echo "${lib%%:*} ${version[${lib%%:*}]}"; done >"$prefix/versions"
touch "$prefix/done"
echo "mingw-audio-libs.sh: built in $((SECONDS - start)) s" >&2
echo "$prefix"
