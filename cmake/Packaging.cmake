# The Debian package: `cpack -G DEB` in the build folder. Everything `cmake --install` puts in
# place goes into it under /usr; its dependencies come from dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME trellmond)
set(CPACK_PACKAGE_VENDOR Pelmora)
set(CPACK_PACKAGE_CONTACT "Pelmora <support@trellmond.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recover deleted photos, films and documents")
set(CPACK_PACKAGE_DESCRIPTION
    "Trellmond brings back deleted files from camera memory cards, USB sticks, hard disks and\n"
    "disk images: a wizard, a command line for batch recovery and a small local web service.\n"
    "The Undelete scan reads FAT and NTFS directories; the Low Level Scan finds files by their\n"
    "markers, even after a format. Nothing is ever written to the drive being scanned.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Templates filled in at install time (desktop entry, polkit action, service unit) see /usr
# as their prefix only when the package is staged through DESTDIR, which takes CPACK_INSTALL_PREFIX.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://trellmond.example/)
# polkit runs "Run as Administrator"; the desktop's icon and menu caches are refreshed by their triggers.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec")
set(CPACK_GENERATOR DEB)
include(CPack)
