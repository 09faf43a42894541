# What `cmake --install` puts where: the program, its desktop entry and AppStream metainfo, the
# icons and the udev rule that lets the user at the seat open the devices. Included at the end
# of the top-level CMakeLists.txt, after the quorvel target exists.
include(GNUInstallDirs)

set(QUORVEL_APP_ID org.quorvel.Quorvel)
set(_res ${CMAKE_CURRENT_LIST_DIR})

install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_res}/${QUORVEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_res}/${QUORVEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(_size IN ITEMS 16 24 32 48 64 128 256)
  install(FILES ${_res}/icons/hicolor/${_size}x${_size}/apps/quorvel.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
endforeach()

# udev reads rules from its own folder, named by udev's pkg-config file. That folder is absolute
# (/lib/udev or /usr/lib/udev); it is taken relative to the install prefix, so that an install
# into a test folder or /usr/local stays inside it. A relative value is relative to the prefix;
# packagers may give an absolute one.
if(NOT DEFINED CACHE{QUORVEL_UDEV_RULES_DIR})
  set(_udevdir "")
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_get_variable(_udevdir udev udevdir)
  endif()
  if(_udevdir STREQUAL "")
    set(_rules_dir lib/udev/rules.d)
  else()
    string(REGEX REPLACE "^/(usr/)?" "" _rules_dir "${_udevdir}/rules.d")
  endif()
  set(QUORVEL_UDEV_RULES_DIR ${_rules_dir}
    CACHE STRING "Where the udev rule is installed; relative to the install prefix unless absolute")
endif()
install(FILES ${_res}/70-quorvel.rules DESTINATION ${QUORVEL_UDEV_RULES_DIR})
