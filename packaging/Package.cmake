# CPack settings for the Debian package; scripts/package builds the programs and runs cpack.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halvora1)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT
  "Halvora-1 ground station maintainers <maintainers@users.noreply.c-seed-e845a0f1.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "ground station telemetry decoder for the Halvora-1 CubeSat")
set(CPACK_PACKAGE_DESCRIPTION
"Connects to a packet-radio modem program that offers the AGW Packet Engine
TCP interface (such as Dire Wolf), writes every received AX.25 frame to a
KISS capture file, decodes the satellite's telemetry, shows it and uploads
each satellite frame to a telemetry collection server. It runs with a window
or headless as a systemd user service, and decodes capture files to CSV.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS direwolf)
# Directories the package creates get the usual 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# cpack installs without building everything first: scripts/package builds only what ships.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
