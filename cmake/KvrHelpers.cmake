# kvr_exports(target NAME:ARGBYTES ...) writes the module definition file for a
# library whose exports use the standard calling convention: on 32-bit targets
# the exported names carry the decoration ("CreateUI@0"), on 64-bit they do not.
function(kvr_exports target)
  set(def "EXPORTS\n")
  foreach(entry IN LISTS ARGN)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 bytes)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(APPEND def "    ${name}@${bytes}\n")
    else()
      string(APPEND def "    ${name}\n")
    endif()
  endforeach()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  file(WRITE ${file} "${def}")
  target_sources(${target} PRIVATE ${file})
  # The decorated names the 32-bit build must carry, checked by the tests.
  get_target_property(output ${target} OUTPUT_NAME)
  get_target_property(suffix ${target} SUFFIX)
  foreach(entry IN LISTS ARGN)
    string(REPLACE ":" "@" decorated "${entry}")
    set_property(GLOBAL APPEND PROPERTY KVR_EXPORTS "${output}${suffix} ${decorated}")
  endforeach()
endfunction()

# Deliverables carry the upper-case file names the system is known by.
function(kvr_output_name target name suffix)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} PREFIX "" SUFFIX ${suffix}
                        IMPORT_PREFIX "lib" IMPORT_SUFFIX ".dll.a")
endfunction()

# kvr_wine_test(target) registers a test program that ctest runs under Wine.
function(kvr_wine_test target)
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT 600)
endfunction()

# kvr_add_part(folder) adds a source folder unless KVR_SKIP names it.
function(kvr_add_part folder)
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${folder})
  if(NOT rel IN_LIST KVR_SKIP AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/CMakeLists.txt)
    add_subdirectory(${folder})
  endif()
endfunction()
