# halvorine_version_resource(TARGET DESCRIPTION): gives a Windows DLL its
# version resource (file and product version from project(), ProductName
# "Halvorine", CompanyName "Pellucid", FileDescription DESCRIPTION).
# Nothing on other systems.
#
# windres compiles the resource into an object of its own, outside the
# target's compile options, which are the C++ compiler's.
function(halvorine_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(HALVORINE_RC_DESCRIPTION "${description}")
  get_target_property(HALVORINE_RC_NAME ${target} OUTPUT_NAME)
  if(NOT HALVORINE_RC_NAME)
    set(HALVORINE_RC_NAME ${target})
  endif()
  get_target_property(suffix ${target} SUFFIX)
  if(NOT suffix)
    set(suffix ${CMAKE_SHARED_MODULE_SUFFIX})
  endif()
  set(HALVORINE_RC_FILE ${HALVORINE_RC_NAME}${suffix})
  set(dir ${CMAKE_BINARY_DIR}/version-resources)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${dir}/${target}.rc @ONLY)
  add_custom_command(
    OUTPUT ${dir}/${target}.res.o
    COMMAND ${CMAKE_RC_COMPILER} --preprocessor=${CMAKE_C_COMPILER} --preprocessor-arg=-E
            --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
            --output-format=coff --input=${dir}/${target}.rc --output=${dir}/${target}.res.o
    DEPENDS ${dir}/${target}.rc
    COMMENT "Version resource of ${HALVORINE_RC_FILE}"
    VERBATIM)
  # The rule lives in this folder; the target may come from another one,
  # which learns of it through the target that runs it.
  add_custom_target(${target}_version_resource DEPENDS ${dir}/${target}.res.o)
  add_dependencies(${target} ${target}_version_resource)
  set_source_files_properties(${dir}/${target}.res.o PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(${target} PRIVATE ${dir}/${target}.res.o)
endfunction()
