# Install rules and the Debian package: the program, its desktop entry and its icon in the
# freedesktop.org icon theme. The program keeps its state in the user's state folder, so
# nothing here needs to be writable after installation.
include(GNUInstallDirs)

# orlenway-admin, and on Linux its systemd user timer and service: installed, not enabled.
install(TARGETS orlenway-admin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32 AND NOT APPLE)
  set(ORLENWAY_ADMIN_PATH ${CMAKE_INSTALL_FULL_BINDIR}/orlenway-admin)
  configure_file(${PROJECT_SOURCE_DIR}/dist/orlenway-admin-backup.service.in
                 ${PROJECT_BINARY_DIR}/dist/orlenway-admin-backup.service @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/dist/orlenway-admin-mirror.service.in
                 ${PROJECT_BINARY_DIR}/dist/orlenway-admin-mirror.service @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/dist/orlenway-admin-backup.service
                ${PROJECT_SOURCE_DIR}/dist/orlenway-admin-backup.timer
                ${PROJECT_BINARY_DIR}/dist/orlenway-admin-mirror.service
                ${PROJECT_SOURCE_DIR}/dist/orlenway-admin-mirror.timer
          DESTINATION lib/systemd/user)
endif()

if(NOT ORLENWAY_GUI)
  return()
endif()

install(TARGETS orlenway RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The desktop entry, the icon theme and the package are the freedesktop.org desktop's.
if(WIN32 OR APPLE)
  return()
endif()
install(FILES ${PROJECT_SOURCE_DIR}/dist/orlenway.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(ORLENWAY_ICON_SIZES 16 22 24 32 48 64 128 256)
set(icon_theme ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${PROJECT_SOURCE_DIR}/dist/orlenway.svg DESTINATION ${icon_theme}/scalable/apps)
foreach(size IN LISTS ORLENWAY_ICON_SIZES)
  install(FILES ${PROJECT_SOURCE_DIR}/app/icons/png/orlenway-${size}.png
          DESTINATION ${icon_theme}/${size}x${size}/apps RENAME orlenway.png)
endforeach()

# cpack -G DEB: the library dependencies come from dpkg-shlibdeps; the program drives the
# Subversion programs and its Korean captions need a Korean font.
set(ORLENWAY_PACKAGE_CONTACT "Orlenway developers <orlenway@example.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orlenway)
set(CPACK_PACKAGE_VENDOR "Orlenway")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ORLENWAY_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Runs and administers a local Subversion server")
set(CPACK_PACKAGE_DESCRIPTION
    "From one small window (in Korean) an administrator starts and stops svnserve, keeps the\n"
    "server settings and one list of user accounts, creates and deletes repositories, sets\n"
    "their access levels and users, and backs them up into ZIP archives. orlenway-admin backs\n"
    "projects up on a schedule without stopping the server, restores and verifies them.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION vcs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "subversion, fonts-nanum")
include(CPack)
