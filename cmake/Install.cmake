# The installed layout of a Linux desktop program, and its Debian package (cpack -G DEB):
#   bin/                       dravik, dravik-cli
#   lib/dravik/                our libraries, loaded by full path from ../lib/dravik of the program
#   share/dravik/help/         the help pages (installed by app/help)
#   share/applications/, share/metainfo/, share/icons/hicolor/, share/man/man1/
#   share/doc/dravik/          copyright, changelog.Debian.gz
# Included last by the top-level build file, when every target exists; parts whose target has not
# been built yet are left out.

set(DRAVIK_PRIVATE_LIBDIR lib/dravik)
set(DRAVIK_APP_ID com.brevon.Dravik)

# Programs find the libraries they link (dravik-cli -> Brevon.WMA) in the private folder; the
# libraries find each other (Brevon.File -> Brevon.Codec) beside themselves.
foreach(program dravik dravik-cli)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${DRAVIK_PRIVATE_LIBDIR}")
    install(TARGETS ${program} RUNTIME DESTINATION bin)
  endif()
endforeach()
foreach(library Brevon.Wave Brevon.File Brevon.Codec Brevon.WMA wmvcore Dravik)
  if(TARGET ${library})
    install(TARGETS ${library} LIBRARY DESTINATION ${DRAVIK_PRIVATE_LIBDIR})
  endif()
endforeach()

# The manual pages and the Debian changelog, compressed as Debian installs them (-n: no time
# stamp, so the same source gives the same package).
function(dravik_install_gz source destination)
  get_filename_component(name ${source} NAME)
  set(gz ${CMAKE_BINARY_DIR}/dist/${name}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/dist
    COMMAND gzip -9 -n -c ${source} > ${gz}
    DEPENDS ${source}
    COMMENT "Compressing ${name}")
  string(REPLACE "." "_" target dravik_gz_${name})
  add_custom_target(${target} ALL DEPENDS ${gz})
  install(FILES ${gz} DESTINATION ${destination})
endfunction()
foreach(man_page ${CMAKE_SOURCE_DIR}/app/dravik.1 ${CMAKE_SOURCE_DIR}/app/cli/dravik-cli.1)
  dravik_install_gz(${man_page} share/man/man1)
endforeach()

# The licence and the history, where Debian looks for them: the copyright file in the
# machine-readable format, the changelog of the package's versions, and lintian's overrides, each
# with its reason.
set(DRAVIK_PACKAGE_RELEASE 1)
file(STRINGS ${CMAKE_SOURCE_DIR}/dist/changelog.Debian changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^dravik \\(${PROJECT_VERSION}-${DRAVIK_PACKAGE_RELEASE}\\) ")
  message(FATAL_ERROR "dist/changelog.Debian does not begin with version "
                      "${PROJECT_VERSION}-${DRAVIK_PACKAGE_RELEASE}: ${changelog_head}")
endif()
dravik_install_gz(${CMAKE_SOURCE_DIR}/dist/changelog.Debian share/doc/dravik)
install(FILES ${CMAKE_SOURCE_DIR}/dist/copyright DESTINATION share/doc/dravik)
install(FILES ${CMAKE_SOURCE_DIR}/dist/dravik.lintian-overrides
  DESTINATION share/lintian/overrides RENAME dravik)

# The menu entry and the software-centre description belong to the window program.
if(TARGET dravik)
  install(FILES ${CMAKE_SOURCE_DIR}/dist/${DRAVIK_APP_ID}.desktop DESTINATION share/applications)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/dist/${DRAVIK_APP_ID}.metainfo.xml DESTINATION share/metainfo)

# The application icon, drawn from the skin's source by the skin's renderer (platform/skin).
if(EXISTS ${CMAKE_SOURCE_DIR}/platform/skin/names.cmake)
  include(${CMAKE_SOURCE_DIR}/platform/skin/names.cmake)
endif()
if(TARGET dravik_skin_art AND DEFINED DRAVIK_ICON_SIZES AND DEFINED DRAVIK_ICON_DIR)
  foreach(size ${DRAVIK_ICON_SIZES})
    install(FILES ${DRAVIK_ICON_DIR}/dravik-${size}.png
      DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME ${DRAVIK_APP_ID}.png)
  endforeach()
  if(EXISTS ${CMAKE_SOURCE_DIR}/platform/skin/art/dravik.svg)
    install(FILES ${CMAKE_SOURCE_DIR}/platform/skin/art/dravik.svg
      DESTINATION share/icons/hicolor/scalable/apps RENAME ${DRAVIK_APP_ID}.svg)
  endif()
endif()

# The Debian package: cpack -G DEB in the build folder gives dravik_VERSION-RELEASE_ARCH.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dravik)
set(CPACK_PACKAGE_VENDOR Brevon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${DRAVIK_PACKAGE_RELEASE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop sound recorder with voice-operated recording")
# Lines of the description stay under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
  "Dravik records a sound card's input into WAV, MP3 or WMA files, shows live\n"
  "stereo input levels, plays takes and existing files back, and saves takes\n"
  "under a chosen name or automatically under a time-stamped or numbered one.\n"
  "It can record unattended: voice-operated recording that writes only sound,\n"
  "automatic start and stop, timed track splits, and a watch on the free disk\n"
  "space. dravik-cli is its headless recorder and player.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Brevon <dravik@brevon.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The linked libraries give the dependencies; LAME is opened by name when an MP3 file is written,
# and Qt's windowing plugins are what a window program needs beyond the libraries it links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(dravik_depends libmp3lame0)
if(TARGET dravik)
  list(APPEND dravik_depends qt6-qpa-plugins)
endif()
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${dravik_depends}")
include(CPack)
