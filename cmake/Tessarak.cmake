# Build helpers shared by every folder.
#
# Each subsystem folder is one static library named after the folder, made of
# every .cpp in it (sub-folders included). Dependencies between subsystems are
# declared in subsystem_deps below; `tessarak_all` links the lot for programs
# and tests.

set(TESSARAK_SUBSYSTEMS "" CACHE INTERNAL "")
set(TESSARAK_PROGRAMS "" CACHE INTERNAL "")

# Which subsystems a subsystem may call into (static libraries, so cycles are
# allowed and resolved by the linker's repeated passes).
set(TESSARAK_DEPS_core     platform)
set(TESSARAK_DEPS_e3d      core platform)
set(TESSARAK_DEPS_console  core e3d platform)
set(TESSARAK_DEPS_nwe      core platform)
set(TESSARAK_DEPS_app      core e3d console world nwe netgame ai ui commands platform)
set(TESSARAK_DEPS_world    core e3d console app platform)
set(TESSARAK_DEPS_netgame  core nwe console world app platform)
set(TESSARAK_DEPS_ai       core world console app platform)
set(TESSARAK_DEPS_ui       core e3d console app world netgame platform)
set(TESSARAK_DEPS_commands core e3d console app world nwe netgame ai ui platform)
set(TESSARAK_DEPS_launcher core platform)

function(tessarak_subsystem name)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${name}/*.cpp)
  # A file named <Program>_main.cpp is a program of its own (the game, the
  # launcher), built into the installation's System folder.
  set(mains ${srcs})
  list(FILTER mains INCLUDE REGEX "_main\\.cpp$")
  list(FILTER srcs EXCLUDE REGEX "_main\\.cpp$")
  set(TESSARAK_PROGRAMS ${TESSARAK_PROGRAMS} ${mains} CACHE INTERNAL "")
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  set_property(TARGET ${name} PROPERTY LINK_INTERFACE_MULTIPLICITY 3)
  set(TESSARAK_SUBSYSTEMS ${TESSARAK_SUBSYSTEMS} ${name} CACHE INTERNAL "")
endfunction()

function(tessarak_link_all)
  add_library(tessarak_all INTERFACE)
  foreach(src ${TESSARAK_PROGRAMS})
    get_filename_component(prog ${src} NAME_WE)
    string(REGEX REPLACE "_main$" "" prog ${prog})
    add_executable(${prog} ${src})
    target_link_libraries(${prog} PRIVATE tessarak_all)
    set_target_properties(${prog} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/install/System)
  endforeach()
  foreach(name ${TESSARAK_SUBSYSTEMS})
    set(deps "")
    foreach(d ${TESSARAK_DEPS_${name}})
      if(TARGET ${d})
        list(APPEND deps ${d})
      endif()
    endforeach()
    target_link_libraries(${name} PUBLIC ${deps})
  endforeach()
  # Repeat the list so the cycles between subsystems resolve.
  target_link_libraries(tessarak_all INTERFACE ${TESSARAK_SUBSYSTEMS} ${TESSARAK_SUBSYSTEMS} platform)
endfunction()

# A fuzz target. With TESSARAK_FUZZ on clang it is a libFuzzer binary
# (fuzz_<name>); otherwise it is built with a small driver that replays the
# corpus folder beside the source plus a run of seeded random inputs, and runs
# as an ordinary test.
function(tessarak_fuzzer name src)
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus_${name})
  if(TESSARAK_FUZZ)
    add_executable(fuzz_${name} ${src})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(fuzz_${name} PRIVATE tessarak_all ${ARGN})
  else()
    add_executable(fuzzreplay_${name} ${src} ${CMAKE_SOURCE_DIR}/tests/support/fuzz_replay.cpp)
    target_link_libraries(fuzzreplay_${name} PRIVATE tessarak_all ${ARGN})
    add_test(NAME fuzzreplay_${name} COMMAND fuzzreplay_${name} ${corpus})
    # A message box under the test display would wait for a click forever.
    set_tests_properties(fuzzreplay_${name} PROPERTIES ENVIRONMENT "TESSARAK_HEADLESS_DIALOGS=1")
  endif()
endfunction()
