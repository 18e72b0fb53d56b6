# stampwalk_headers(NAME FOLDER SOURCE_DIR PUBLIC_HEADER...)
#
# Makes the headers of library NAME reachable only as "FOLDER/Header.h", and
# only as far as its arrows allow:
#
#   NAME_headers    (interface) the public headers listed, for whoever links NAME
#   NAME_internals  (interface) every header of SOURCE_DIR, for NAME's own
#                   sources and for the tests that reach its internals
#
# Both are directories of symbolic links in the build tree, so an include of
# another library's private header, or of a header without its folder, fails
# to compile instead of working by accident.
function(stampwalk_headers name folder source_dir)
  set(root ${PROJECT_BINARY_DIR}/include/${name})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/public/${folder} ${root}/internal)
  foreach(header ${ARGN})
    if(NOT EXISTS ${source_dir}/${header})
      message(FATAL_ERROR "stampwalk_headers(${name}): no header ${source_dir}/${header}")
    endif()
    file(CREATE_LINK ${source_dir}/${header} ${root}/public/${folder}/${header} SYMBOLIC)
  endforeach()
  file(CREATE_LINK ${source_dir} ${root}/internal/${folder} SYMBOLIC)

  add_library(${name}_headers INTERFACE)
  target_include_directories(${name}_headers INTERFACE $<BUILD_INTERFACE:${root}/public>)
  add_library(${name}_internals INTERFACE)
  target_include_directories(${name}_internals INTERFACE ${root}/internal)
  set(${name}_PUBLIC_INCLUDE_DIR ${root}/public CACHE INTERNAL "public headers of ${name}")
endfunction()
