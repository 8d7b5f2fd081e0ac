# The Debian package, built by tools/package: talvik_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Norvale)
set(CPACK_PACKAGE_CONTACT "Talvik maintainers <talvik@norvale.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure and service a weather station's Control Module")
# Wrapped by hand: the control file keeps the lines as they are given.
set(CPACK_PACKAGE_DESCRIPTION
    "Talvik is the tool with which a field technician configures and services
the Control Module of a weather station over USB: it reads and writes every
setting of the module, saves and loads configuration files, downloads the
module's log as CSV files and uploads firmware.

A udev rule lets the user at the PC open the module without root.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The libraries' packages, as dpkg-shlibdeps finds them from the stripped programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its SQLite driver as a plugin, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite")
# Only a network's server needs the PostgreSQL driver.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt5sql5-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/postinst
                                       ${CMAKE_CURRENT_SOURCE_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Only the binary package; a source archive is what git gives.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
