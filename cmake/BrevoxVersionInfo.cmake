# brevox_version_info(TARGET DESCRIPTION): gives a Windows program a version
# resource (product Brevox, file and product version from project()), shown in
# the Explorer's file properties. DESCRIPTION is Windows-1252 text, accented
# letters written as \\xHH. Does nothing outside Windows builds.
function(brevox_version_info target description)
  if(NOT WIN32)
    return()
  endif()
  set(VERSIONINFO_NAME ${target})
  set(VERSIONINFO_FILE ${target}.exe)
  set(VERSIONINFO_DESCRIPTION ${description})
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/versioninfo.rc.in ${script} @ONLY)
  set_source_files_properties(${script} PROPERTIES COMPILE_OPTIONS --codepage=1252)
  target_sources(${target} PRIVATE ${script})
endfunction()

# Resource scripts are compiled in every directory of a Windows build.
if(WIN32)
  enable_language(RC)
endif()
