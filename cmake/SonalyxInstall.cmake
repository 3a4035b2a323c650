# make install / make package: the programs, their help, the desktop entry,
# the icon and the AppStream metadata, in the usual GNU directories.
set(SONALYX_APP_ID org.sonalyx.Sonalyx)

# The programs. The command-line measuring program joins the list once it
# exists as a target of this build.
set(SONALYX_PROGRAMS sonalyx)
if(TARGET sonalyx-measure)
  list(APPEND SONALYX_PROGRAMS sonalyx-measure)
endif()
install(TARGETS ${SONALYX_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# What make install and make package build before installing.
add_custom_target(sonalyx_programs DEPENDS ${SONALYX_PROGRAMS} sonalyx_help_pages)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/help/ DESTINATION ${SONALYX_DATADIR}/help
  FILES_MATCHING PATTERN "*.html" PATTERN "*.png" PATTERN "*.css")
install(FILES ${PROJECT_SOURCE_DIR}/data/${SONALYX_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/${SONALYX_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/${SONALYX_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# A Debian package (make package): installs into /usr, its library
# dependencies found by dpkg-shlibdeps from the built programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sonalyx)
set(CPACK_PACKAGE_VENDOR "Sonalyx developers")
set(CPACK_PACKAGE_CONTACT "Sonalyx developers <sonalyx@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio test set for a PC sound card")
set(CPACK_PACKAGE_DESCRIPTION
  "Sonalyx turns a PC sound card into an audio test set: spectrum analyser with THD+N and weighted levels, signal generator, frequency-response sweep, two-channel oscilloscope, correction curves and level calibration.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The platform plugins (xcb, and offscreen for tests) come with libqt6gui6,
# which the programs link, so shlibdeps names everything they need.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "alsa-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
