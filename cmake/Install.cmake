# What `cmake --install` puts where (GNUInstallDirs), and the Debian package (CPack DEB).
#
#   bin/zento, bin/zento-board (Linux), bin/zento-decode, bin/zento-capture
#   share/zento/liti8.x, board.bmp            the 3D model, found from bin/ (a moved tree works)
#   share/applications/org.zento.Zento.desktop
#   share/icons/hicolor/{scalable,NxN}/apps/org.zento.Zento.{svg,png}
#   share/metainfo/org.zento.Zento.metainfo.xml
#   share/man/man1/zento*.1.gz                 made from each program's --help
#   share/doc/zento/{copyright,changelog.gz,README.md}
#   lib/<multiarch>/wireshark/plugins/zento.lua the recordings' dissector, in Wireshark's global Lua
#                                              plugin folder (any Wireshark version reads it)
# Nothing the program writes goes into this tree: Zento.ini lives in the user's configuration
# folder unless a writable program folder already holds one (settings/settings_location.h).
if(NOT ZENTO_BUILD_UI)
  return()
endif()

set(zento_programs zento zento-decode zento-capture)
if(TARGET zento-board)
  list(APPEND zento_programs zento-board)
endif()
install(TARGETS ${zento_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/bin/liti8.x ${CMAKE_BINARY_DIR}/bin/board.bmp
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zento)
install(FILES ${PROJECT_SOURCE_DIR}/data/org.zento.Zento.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/org.zento.Zento.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/data/org.zento.Zento.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
# Debian's Wireshark looks for Lua plugins in /usr/lib/<multiarch>/wireshark/plugins (tshark -G
# folders), whatever the prefix's own library folder is.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(zento_wireshark_dir lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)
else()
  set(zento_wireshark_dir lib/wireshark/plugins)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/data/wireshark/zento.lua DESTINATION ${zento_wireshark_dir})

# Manual pages from each program's --help (run from the build tree), and the package's
# documents, compressed as Debian wants them (gzip -9n: no name, no time stamp).
set(zento_docs ${CMAKE_BINARY_DIR}/docs)
set(zento_doc_outputs "")
foreach(program ${zento_programs})
  set(page ${zento_docs}/${program}.1.gz)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
            -DVERSION=${PROJECT_VERSION} -DOUT=${zento_docs}/${program}.1
            -P ${PROJECT_SOURCE_DIR}/cmake/HelpToMan.cmake
    COMMAND gzip -9nf ${zento_docs}/${program}.1
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/HelpToMan.cmake
    COMMENT "Manual page of ${program} from its --help"
    VERBATIM)
  list(APPEND zento_doc_outputs ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_command(
  OUTPUT ${zento_docs}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zento_docs}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/data/changelog > ${zento_docs}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog
  VERBATIM)
list(APPEND zento_doc_outputs ${zento_docs}/changelog.gz)
add_custom_target(zento_docs ALL DEPENDS ${zento_doc_outputs})
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright ${zento_docs}/changelog.gz
              ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zento) # the package name, as Debian wants

# ---- Debian package ------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zento)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Zento developers")
set(CPACK_PACKAGE_CONTACT "The Zento developers <zento@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitor for attitude and heading reference boards")
# The synopsis is the summary; the description is the extended text alone, its lines joined
# by CPack with the leading space Debian wants.
set(CPACK_PACKAGE_DESCRIPTION
    "Zento opens the serial port of an AHRS board, checks its frames and
shows the values live: horizon, compass, gauges, raw sensor readings,
a strip chart and a 3D model of the board. It sends the board's two
commands, records and plays back what the board sends, says what is
wrong with the link or the board, and reports every fault in its
message log, and streams the values as JSON over UDP to plotting
tools. A simulated board (zento-board), a decoder of captures
(zento-decode), a recorder without a window (zento-capture) and a
Wireshark dissector of the recordings come with it.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Libraries by dpkg-shlibdeps; Qt's platform plugins (the window cannot open without one: they
# are loaded, not linked); the fonts the window draws its captions with by name.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, fonts-wqy-microhei, fonts-liberation, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri")
# The dissector is of use only with one of them.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tshark | wireshark")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
