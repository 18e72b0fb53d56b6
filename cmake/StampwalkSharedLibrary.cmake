# stampwalk_shared_library(TARGET STATIC_TARGET OUTPUT_NAME EXPORT_NAME
#                          VERSION_SCRIPT INCLUDE_DIR...)
#
# The installable form of a reader: a shared library made of the objects of
# its static library (compiled once, position independent) and of the static
# libraries that one links, common among them. The version script exports the
# reader's C entry points and keeps everything else local, so that the two
# readers' copies of common never meet. The static libraries stay what the
# tool and the tests link, the tests for the internals they reach.
function(stampwalk_shared_library target static_target output_name export_name version_script)
  add_library(${target} SHARED $<TARGET_OBJECTS:${static_target}>)
  # Linking the static library brings its dependencies; its own members are
  # already defined by the objects above, so none is taken twice.
  target_link_libraries(${target} PRIVATE ${static_target})
  foreach(dir ${ARGN})
    target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${dir}>)
  endforeach()
  target_link_options(${target} PRIVATE "LINKER:--version-script=${version_script}" "LINKER:--no-undefined")
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${output_name}
    EXPORT_NAME ${export_name}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    LINKER_LANGUAGE CXX
    LINK_DEPENDS ${version_script})
  add_library(Stampwalk::${export_name} ALIAS ${target})
endfunction()
