# cmake -P: installs BUILD_DIR into PREFIX and checks the installed files, then runs the desktop
# entry and AppStream validators on what was installed.
foreach(_var BUILD_DIR SOURCE_DIR PREFIX DESKTOP_FILE_VALIDATE APPSTREAMCLI)
  if(NOT DEFINED ${_var})
    message(FATAL_ERROR "${_var} is not set")
  endif()
endforeach()

set(_id org.quorvel.Quorvel)

load_cache(${BUILD_DIR} READ_WITH_PREFIX _cache_ QUORVEL_UDEV_RULES_DIR)
if(NOT DEFINED _cache_QUORVEL_UDEV_RULES_DIR OR _cache_QUORVEL_UDEV_RULES_DIR STREQUAL "")
  message(FATAL_ERROR "QUORVEL_UDEV_RULES_DIR is not in the build's cache")
endif()
if(IS_ABSOLUTE "${_cache_QUORVEL_UDEV_RULES_DIR}")
  # An absolute rules folder lies outside any prefix: installing would write to the system.
  message(FATAL_ERROR "QUORVEL_UDEV_RULES_DIR is absolute (${_cache_QUORVEL_UDEV_RULES_DIR}); "
                      "this check installs below a prefix only")
endif()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${_rc}):\n${_out}${_err}")
endif()

set(_expected
  bin/quorvel
  share/applications/${_id}.desktop
  share/metainfo/${_id}.metainfo.xml
  ${_cache_QUORVEL_UDEV_RULES_DIR}/70-quorvel.rules)
foreach(_size IN ITEMS 16 24 32 48 64 128 256)
  list(APPEND _expected share/icons/hicolor/${_size}x${_size}/apps/quorvel.png)
endforeach()
set(_missing "")
foreach(_file IN LISTS _expected)
  if(NOT EXISTS ${PREFIX}/${_file})
    list(APPEND _missing ${_file})
  endif()
endforeach()
if(_missing)
  message(FATAL_ERROR "not installed: ${_missing}")
endif()

file(GLOB_RECURSE _installed RELATIVE ${PREFIX} ${PREFIX}/*)
message(STATUS "installed: ${_installed}")

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
    ${SOURCE_DIR}/res/70-quorvel.rules ${PREFIX}/${_cache_QUORVEL_UDEV_RULES_DIR}/70-quorvel.rules
  RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "the installed udev rule differs from res/70-quorvel.rules")
endif()

file(READ ${PREFIX}/share/applications/${_id}.desktop _desktop)
foreach(_line "Name=Quorvel" "Comment=Online firmware updater" "Exec=quorvel" "Icon=quorvel")
  string(FIND "${_desktop}" "\n${_line}\n" _at)
  if(_at EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks the line ${_line}")
  endif()
endforeach()

# Each validator must accept the file; errors and warnings both fail (hints do not).
function(validate)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
  message(STATUS "${ARGN}:\n${_out}${_err}")
  if(NOT _rc EQUAL 0 OR "${_out}${_err}" MATCHES "(^|[ \n])(error|warning)[: ]|\nE: |\nW: ")
    message(FATAL_ERROR "rejected by ${ARGN}:\n${_out}${_err}")
  endif()
endfunction()
validate(${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/${_id}.desktop)
validate(${APPSTREAMCLI} validate --no-net ${PREFIX}/share/metainfo/${_id}.metainfo.xml)
# The tree as a software centre reads it: the metainfo, its desktop entry and its icon together.
validate(${APPSTREAMCLI} validate-tree --no-net ${PREFIX})
