# Build helpers shared by every folder.
#
# Each subsystem folder is one static library named after the folder, made of
# every .cpp in it (sub-folders included). Dependencies between subsystems are
# declared in TESSARAK_DEPS_<name> below; `tessarak_all` links the lot for
# programs and tests.

set(TESSARAK_SUBSYSTEMS "" CACHE INTERNAL "")
set(TESSARAK_PROGRAMS "" CACHE INTERNAL "")

# The layers, bottom to top. Engine: platform < core < e3d < console, and nwe
# on core and platform. Game: world < netgame < ai < ui < app < commands, on
# the whole engine. A library links only the libraries below it, each named
# once here (what they link in turn comes with them), so the dependencies form
# no cycle: a library that reached one above it would fail to link.
# tools/check/tree.sh refuses a name here that is not below the library.
set(TESSARAK_DEPS_core     platform)
set(TESSARAK_DEPS_e3d      core)
set(TESSARAK_DEPS_console  e3d)
set(TESSARAK_DEPS_nwe      core)
set(TESSARAK_DEPS_world    console nwe)
set(TESSARAK_DEPS_netgame  world)
set(TESSARAK_DEPS_ai       netgame)
set(TESSARAK_DEPS_ui       ai)
set(TESSARAK_DEPS_app      ui)
set(TESSARAK_DEPS_commands app)
set(TESSARAK_DEPS_launcher core)

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
  set(TESSARAK_SUBSYSTEMS ${TESSARAK_SUBSYSTEMS} ${name} CACHE INTERNAL "")
endfunction()

# A library's declared dependencies; a folder without sources yet (no target)
# passes its own dependencies on to the libraries above it.
function(tessarak_resolve_deps name out)
  set(deps "")
  foreach(d ${TESSARAK_DEPS_${name}})
    if(TARGET ${d})
      list(APPEND deps ${d})
    else()
      tessarak_resolve_deps(${d} below)
      list(APPEND deps ${below})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES deps)
  set(${out} ${deps} PARENT_SCOPE)
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
    tessarak_resolve_deps(${name} deps)
    target_link_libraries(${name} PUBLIC ${deps})
  endforeach()
  # The programs link everything; the order comes from the dependencies.
  target_link_libraries(tessarak_all INTERFACE ${TESSARAK_SUBSYSTEMS} platform)
endfunction()

# The fuzz replays of an ordinary build run the code under test with the
# sanitizers the fuzzers use (address and undefined behaviour), not only
# their own harness: every library the replays link gets a second copy built
# with them (<name>_san: the same sources, options and links, each of ours
# replaced by its copy), which only the replays link. The first replay makes
# them; the game and the other tests never see them.
set(TESSARAK_REPLAY_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)

# The link list with each of our libraries (one that has a _san copy to make)
# replaced by its copy; generator expressions and imported targets stay.
function(tessarak_sanitized_links out)
  set(mapped "")
  foreach(lib ${ARGN})
    if(TARGET ${lib} AND NOT lib MATCHES "::")
      get_target_property(imported ${lib} IMPORTED)
      if(NOT imported)
        tessarak_sanitized_copy(${lib})
        list(APPEND mapped ${lib}_san)
        continue()
      endif()
    endif()
    list(APPEND mapped ${lib})
  endforeach()
  set(${out} ${mapped} PARENT_SCOPE)
endfunction()

function(tessarak_sanitized_copy target)
  if(TARGET ${target}_san)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
  if(NOT interface_links)
    set(interface_links "")
  endif()
  if(type STREQUAL "INTERFACE_LIBRARY")
    add_library(${target}_san INTERFACE)
    tessarak_sanitized_links(links ${interface_links})
    target_link_libraries(${target}_san INTERFACE ${links})
    return()
  endif()
  get_target_property(srcs ${target} SOURCES)
  add_library(${target}_san STATIC EXCLUDE_FROM_ALL ${srcs})
  foreach(property INCLUDE_DIRECTORIES COMPILE_DEFINITIONS COMPILE_OPTIONS)
    get_target_property(value ${target} ${property})
    if(value)
      set_property(TARGET ${target}_san PROPERTY ${property} ${value})
    endif()
  endforeach()
  target_compile_options(${target}_san PRIVATE ${TESSARAK_REPLAY_SANITIZERS})
  get_target_property(private_links ${target} LINK_LIBRARIES)
  if(private_links)
    tessarak_sanitized_links(links ${private_links})
    set_property(TARGET ${target}_san PROPERTY LINK_LIBRARIES ${links})
  endif()
  tessarak_sanitized_links(links ${interface_links})
  set_property(TARGET ${target}_san PROPERTY INTERFACE_LINK_LIBRARIES ${links})
endfunction()

# A fuzz target. With TESSARAK_FUZZ on clang it is a libFuzzer binary
# (fuzz_<name>); otherwise it is built with a small driver that replays the
# corpus folder beside the source plus a run of seeded random inputs, and runs
# as an ordinary test, with the harness and every library under the
# sanitizers the fuzzer uses (see tessarak_sanitized_copy).
function(tessarak_fuzzer name src)
  # SEEDS <folder>: a further corpus made at build time (by the target named
  # with SEEDS_TARGET), replayed too and given to the fuzzer to start from.
  cmake_parse_arguments(FUZZ "" "SEEDS;SEEDS_TARGET" "" ${ARGN})
  set(libs ${FUZZ_UNPARSED_ARGUMENTS})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus_${name} ${FUZZ_SEEDS})
  if(TESSARAK_FUZZ)
    add_executable(fuzz_${name} ${src})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(fuzz_${name} PRIVATE tessarak_all ${libs})
    if(FUZZ_SEEDS_TARGET)
      add_dependencies(fuzz_${name} ${FUZZ_SEEDS_TARGET})
    endif()
  else()
    add_executable(fuzzreplay_${name} ${src} ${CMAKE_SOURCE_DIR}/tests/support/fuzz_replay.cpp)
    tessarak_sanitized_links(sanitized tessarak_all ${libs})
    target_link_libraries(fuzzreplay_${name} PRIVATE ${sanitized})
    target_compile_options(fuzzreplay_${name} PRIVATE ${TESSARAK_REPLAY_SANITIZERS})
    target_link_options(fuzzreplay_${name} PRIVATE -fsanitize=address,undefined)
    if(FUZZ_SEEDS_TARGET)
      add_dependencies(fuzzreplay_${name} ${FUZZ_SEEDS_TARGET})
    endif()
    add_test(NAME fuzzreplay_${name} COMMAND fuzzreplay_${name} ${corpus})
    # A message box under the test display would wait for a click forever.
    set_tests_properties(fuzzreplay_${name} PROPERTIES ENVIRONMENT "TESSARAK_HEADLESS_DIALOGS=1")
  endif()
endfunction()
