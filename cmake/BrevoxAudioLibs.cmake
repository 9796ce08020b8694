# The audio libraries, through pkg-config: libsoxr (brevox::resample) and
# libsndfile (the command line). Cross builds link them statically from the
# prefix a script built them into: BREVOX_MINGW_AUDIO for mingw-w64
# (scripts/mingw-audio-libs.sh), BREVOX_WEB_AUDIO for emscripten
# (scripts/web-audio-libs.sh, libsoxr only).
find_package(PkgConfig REQUIRED)
if(EMSCRIPTEN)
  set(audio_prefix BREVOX_WEB_AUDIO)
  set(audio_script web-audio-libs.sh)
  # Found under the prefix, which emscripten's toolchain would re-root.
  list(APPEND CMAKE_FIND_ROOT_PATH ${BREVOX_WEB_AUDIO})
elseif(CMAKE_CROSSCOMPILING)
  set(audio_prefix BREVOX_MINGW_AUDIO)
  set(audio_script mingw-audio-libs.sh)
endif()
if(audio_prefix)
  if(NOT ${audio_prefix})
    message(FATAL_ERROR "the audio libraries are needed: cmake -D${audio_prefix}=$(scripts/${audio_script}) ...")
  endif()
  set(ENV{PKG_CONFIG_LIBDIR} ${${audio_prefix}}/lib/pkgconfig)
  set(PKG_CONFIG_ARGN --static)
  # Another prefix (other versions) is looked up anew, not taken from the
  # cache, which also holds the path of each library found.
  if(NOT ${audio_prefix} STREQUAL BREVOX_AUDIO_FOUND)
    get_cmake_property(cached CACHE_VARIABLES)
    foreach(var IN LISTS cached)
      if(var MATCHES "^(SNDFILE|SOXR)_FOUND$|^pkgcfg_lib_(SNDFILE|SOXR)_")
        unset(${var} CACHE)
      endif()
    endforeach()
    set(BREVOX_AUDIO_FOUND ${${audio_prefix}} CACHE INTERNAL "The prefix the audio libraries were found in")
  endif()
endif()
pkg_check_modules(SOXR REQUIRED IMPORTED_TARGET soxr)
