# cpack -G DEB (run in the build directory): stampwalk_VERSION_ARCH.deb with
# everything the install rules put into a prefix, under /usr. Its Depends
# field comes from dpkg-shlibdeps (Debian package dpkg-dev; CPack finds the
# binaries with file(1)), which names the Boost, zlib, libcrypto and ISA-L
# runtime packages of the machine that builds it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME stampwalk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "stampwalk maintainers <stampwalk@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "checks the frames and timestamps of network-camera recordings")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long description, below the summary line; CPack indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "stampwalk lists a camera recording frame by frame: codec, frame type, record,
stream or camera time, CRC-32 and size of every frame, digital-input alert and
motion-window levels, then a summary of the tracks. It reads finished ISO
MP4/3GP recordings and recordings still being written.
.
The package also holds the two readers as shared libraries with their C
headers, a CMake package (find_package(Stampwalk)) and pkg-config files.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file and the ldconfig trigger for the two libraries.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

include(CPack)
