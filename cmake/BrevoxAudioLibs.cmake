# The audio libraries, through pkg-config: libsoxr (brevox::resample) and
# libsndfile (the command line). Cross builds link them statically from the
# prefix a script built them into: BREVOX_MINGW_AUDIO for mingw-w64
# (scripts/mingw-audio-libs.sh), BREVOX_WEB_AUDIO for emscripten
# (scripts/web-audio-libs.sh, libsoxr only). Either defaults to the place the
# script keeps a link to what it built last (~/.cache/brevox/mingw-audio,
# web-audio), so that the presets configure alone once it has run.
find_package(PkgConfig REQUIRED)
if(EMSCRIPTEN)
  set(audio_prefix BREVOX_WEB_AUDIO)
  set(audio_script web-audio-libs.sh)
  set(audio_name web-audio)
elseif(CMAKE_CROSSCOMPILING)
  set(audio_prefix BREVOX_MINGW_AUDIO)
  set(audio_script mingw-audio-libs.sh)
  set(audio_name mingw-audio)
endif()
if(audio_prefix)
  if(NOT ${audio_prefix})
    if(DEFINED ENV{XDG_CACHE_HOME})
      set(audio_cache $ENV{XDG_CACHE_HOME}/brevox)
    else()
      set(audio_cache $ENV{HOME}/.cache/brevox)
    endif()
    get_filename_component(audio_built ${audio_cache}/${audio_name} REALPATH)
    if(NOT EXISTS ${audio_built}/done)
      message(FATAL_ERROR "the audio libraries are needed and ${audio_cache}/${audio_name} holds none: "
                          "run scripts/${audio_script} once (it builds them there), or give -D${audio_prefix}=PREFIX")
    endif()
    set(${audio_prefix} ${audio_built})
    message(STATUS "Audio libraries: ${audio_built}")
  endif()
  # Found under the prefix, which the cross toolchains would re-root.
  list(APPEND CMAKE_FIND_ROOT_PATH ${${audio_prefix}})
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
