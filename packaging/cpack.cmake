# The Debian package: `cpack -G DEB` in the build folder makes skypass_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skypass)
set(CPACK_PACKAGE_VENDOR "skypass developers")
set(CPACK_PACKAGE_CONTACT "skypass developers <maintainers@users.noreply.c-seed-13b01099.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "satellite pass uploader and manual console for Ravik antenna rotators")
# Lines of at most 79 characters, as Debian's package tools show them indented by one.
set(CPACK_PACKAGE_DESCRIPTION
    "skypass uploads a satellite pass prediction (InstantTrack or Nova output)
to a Ravik azimuth/elevation rotator controller on a serial line; handpoint
points and jogs the antenna by hand; ravik-pass computes passes from a TLE
and writes them as pass files; ravik-sim is a virtual controller on a
pseudo-terminal for trying both without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debug information stays in the build; an operator's machine gets the lean programs.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
# dpkg-shlibdeps finds the Qt libraries the programs link; the platform plugins are loaded at
# run time, where it cannot see them. The windows need one of the fonts their captions are made
# to fit. Nothing else: a desktop's packages come through recommendations, which an operator
# may leave out (apt install --no-install-recommends).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, fonts-liberation | fonts-dejavu-core | fonts-noto-core")
include(CPack)
