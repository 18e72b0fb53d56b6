# What cmake --install puts into a prefix (and cpack into the package):
#
#   bin/stampwalk
#   lib/libstampwalk-isom.so.0.1.0, .so.0, .so (and the same for
#       libstampwalk-viewwhilerecording)
#   include/stampwalk/isom/AVReader.h, viewwhilerecording/ViewWhileRec.h,
#       and include/stampwalk/AVReader.h, ViewWhileRec.h, which include
#       them for programs that name the headers without their folder
#   lib/cmake/Stampwalk/ StampwalkConfig.cmake, its version file and the
#       exported targets Stampwalk::isom, Stampwalk::viewwhilerecording
#   lib/pkgconfig/stampwalk-isom.pc, stampwalk-viewwhilerecording.pc
#   share/man/man1/stampwalk.1.gz
#
# (lib is GNUInstallDirs' CMAKE_INSTALL_LIBDIR.) The tool links its own
# static copies of the readers, so it runs from any prefix without a search
# path for the libraries.
include(CMakePackageConfigHelpers)

set(stampwalk_include_dir ${CMAKE_INSTALL_INCLUDEDIR}/stampwalk)
set(stampwalk_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Stampwalk)
set(stampwalk_pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS stampwalk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(TARGETS isom_shared viewwhilerecording_shared
  EXPORT StampwalkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP
  INCLUDES DESTINATION ${stampwalk_include_dir})
# The unversioned names are only for linking, like a -dev package's.
install(TARGETS isom_shared viewwhilerecording_shared
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_ONLY)
# ViewWhileRec.h includes "isom/AVReader.h" through include/stampwalk.
install(FILES ${PROJECT_SOURCE_DIR}/isom/AVReader.h DESTINATION ${stampwalk_include_dir}/isom)
install(FILES ${PROJECT_SOURCE_DIR}/viewwhilerecording/src/ViewWhileRec.h
  DESTINATION ${stampwalk_include_dir}/viewwhilerecording)
foreach(header isom/AVReader.h viewwhilerecording/ViewWhileRec.h)
  get_filename_component(name ${header} NAME)
  file(WRITE ${PROJECT_BINARY_DIR}/include/compat/${name}
    "// The reader's header under its earlier name.\n#include \"${header}\"\n")
  install(FILES ${PROJECT_BINARY_DIR}/include/compat/${name} DESTINATION ${stampwalk_include_dir})
endforeach()

install(EXPORT StampwalkTargets NAMESPACE Stampwalk:: DESTINATION ${stampwalk_cmake_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/StampwalkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/StampwalkConfig.cmake
  INSTALL_DESTINATION ${stampwalk_cmake_dir})
# The soname changes with the major version, and so does compatibility.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cmake/StampwalkConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/StampwalkConfig.cmake ${PROJECT_BINARY_DIR}/cmake/StampwalkConfigVersion.cmake
  DESTINATION ${stampwalk_cmake_dir})

# The pkg-config files find the prefix from their own place (${pcfiledir}),
# so they stay right under whatever prefix cmake --install or a package
# puts them.
file(RELATIVE_PATH stampwalk_pc_prefix /prefix/${stampwalk_pkgconfig_dir} /prefix)
string(REGEX REPLACE "/$" "" stampwalk_pc_prefix "${stampwalk_pc_prefix}")
foreach(library isom viewwhilerecording)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/stampwalk-${library}.pc.in
    ${PROJECT_BINARY_DIR}/cmake/stampwalk-${library}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/cmake/stampwalk-${library}.pc DESTINATION ${stampwalk_pkgconfig_dir})
endforeach()

# The man page, compressed as Debian keeps them (-n: no name or time stamp,
# so that the package is the same from one build to the next).
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/docs/stampwalk.1.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/docs
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/docs/stampwalk.1 > ${PROJECT_BINARY_DIR}/docs/stampwalk.1.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/stampwalk.1
  COMMENT "Compressing the man page stampwalk(1)")
add_custom_target(stampwalk_man_page ALL DEPENDS ${PROJECT_BINARY_DIR}/docs/stampwalk.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/docs/stampwalk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
