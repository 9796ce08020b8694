# Sourced by the scripts that build Debian's libraries for another system
# (mingw-audio-libs.sh for mingw-w64, web-audio-libs.sh for emscripten).
#
# Each library comes from Debian's source package at the version the Linux
# build links (that of the installed -dev package), with Debian's patches
# and ours for that system (scripts/patches/NAME-SOURCE_PACKAGE.patch),
# built as a static library without its programs, tests and docs, into
# ${XDG_CACHE_HOME:-~/.cache}/brevox/NAME-VERSIONS-HASH, once per machine.
# PREFIX/versions names each source package and its version, and
# PREFIX/share/licenses holds their Debian copyright files. The link
# ~/.cache/brevox/NAME names the prefix last built or printed: the place
# the presets' CMake looks in when no prefix is given.
#
# The script sets `libs` (SOURCE_PACKAGE:DEV_PACKAGE, in build order), calls
# open_cache NAME HASH_INPUT, sets `configure` (the CMake configure command
# for the target system, which may name $prefix), calls build
# SOURCE_PACKAGE CMAKE_OPTION... for each library, then close_cache.

me=$(basename "$0")
declare -A version

# Sets `prefix` and, unless it is built already (then prints it and exits),
# takes the lock and prepares a clean build. HASH_INPUT is whatever else the
# libraries depend on (toolchain file, compiler version); the calling script,
# this file and the patches are hashed too.
open_cache() {  # open_cache NAME HASH_INPUT
  local key="" lib hash cache
  name=$1
  patches=("$(dirname "${BASH_SOURCE[0]}")/patches/$name"-*.patch)
  [[ -f ${patches[0]} ]] || patches=()
  for lib in "${libs[@]}"; do
    version[${lib%%:*}]=$(dpkg-query -W -f='${source:Version}' "${lib#*:}")
    key+="${lib%%:*}${version[${lib%%:*}]}-"
  done
  hash=$({ cat "$0" "${BASH_SOURCE[0]}" "${patches[@]}"; echo "$2"; } | sha256sum | cut -c1-8)
  cache=${XDG_CACHE_HOME:-$HOME/.cache}/brevox
  prefix=$cache/$name-$key$hash
  if [[ -f $prefix/done ]]; then
    print_prefix
    exit 0
  fi
  mkdir -p "$cache"
  exec 9>"$cache/$name.lock"
  flock 9  # another script may be building the same folder
  if [[ -f $prefix/done ]]; then
    print_prefix
    exit 0
  fi
  enable_source_packages
  work=$(mktemp -d "/tmp/brevox-$name.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  rm -rf "$prefix"
  echo "$me: building ${key%-} into $prefix" >&2
  start=$SECONDS
  # Each library is found by the next through the prefix only, never through
  # the build machine's own libraries.
  export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
}

# apt fetches source packages from the same archive as the binary ones once
# a deb-src entry exists; it is written in a file of its own.
enable_source_packages() {
  apt-cache showsrc libsoxr 2>/dev/null | grep -q '^Package:' && return
  local sudo=""
  [[ $(id -u) -eq 0 ]] || sudo=sudo
  echo "$me: enabling Debian's source packages for apt" >&2
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  fi
  $sudo apt-get update -qq
}

build() {  # build SOURCE_PACKAGE CMAKE_OPTION...
  local src=$1 log=$work/$1.log t=$SECONDS patch
  patch=$(dirname "${BASH_SOURCE[0]}")/patches/$name-$1.patch
  shift
  # opus 1.3.1's tarball lacks opus_buildtype.cmake, which only sets a
  # default build type. The flags are Debian's own, less the hardening that
  # other systems would need libraries for; no build path goes into the
  # objects.
  (
    cd "$work" &&
      apt-get source --download-only "$src=${version[$src]}" &&
      dpkg-source -x "${src}_${version[$src]#*:}.dsc" "$src" &&
      { [[ ! -f $patch ]] || patch -d "$src" -p1 <"$patch"; } &&
      { [[ $src != opus ]] || touch opus/opus_buildtype.cmake; } &&
      "${configure[@]}" -S "$src" -B "$src/build" -G Ninja -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS="-O2 -ffile-prefix-map=$work/=" \
        -DBUILD_SHARED_LIBS=OFF "$@" &&
      cmake --build "$src/build" -j2 &&
      cmake --install "$src/build" &&
      install -D -m 644 "$src/debian/copyright" "$prefix/share/licenses/$src.copyright"
  ) >"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "$me: $src failed (log above)" >&2; exit 1; }
  echo "  $src ${version[$src]}: $((SECONDS - t)) s" >&2
}

# Marks the prefix as built and prints it.
close_cache() {
  local lib
  for lib in "${libs[@]}"; do echo "${lib%%:*} ${version[${lib%%:*}]}"; done >"$prefix/versions"
  touch "$prefix/done"
  echo "$me: built in $((SECONDS - start)) s" >&2
  print_prefix
}

# Prints the prefix and points the link NAME beside it at it.
print_prefix() {
  ln -sfn "$(basename "$prefix")" "$(dirname "$prefix")/$name.$$.tmp"
  mv -T "$(dirname "$prefix")/$name.$$.tmp" "$(dirname "$prefix")/$name"
  echo "$prefix"
}
