# Build helpers shared by every folder.
#
# Each subsystem folder is one static library named after the folder, made of
# every .cpp in it (sub-folders included). Dependencies between subsystems are
# declared in TESSARAK_DEPS_<name> below; `tessarak_all` links the lot for
# programs and tests.

set(TESSARAK_SUBSYSTEMS "" CACHE INTERNAL "")
set(TESSARAK_PROGRAMS "" CACHE INTERNAL "")

# The layers, bottom to top. Engine: platform < core < e3d < console, and nwe
# on core and platform. Game: world < netgame < {ai, ui} < app < commands, on
# the whole engine; the computer players and the interface are siblings (each
# gives the world orders, neither knows the other). A library links only the libraries below it, each named
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
set(TESSARAK_DEPS_ui       netgame)
set(TESSARAK_DEPS_app      ui ai)
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

# A program that is not System/<name> linking everything: the launcher stands
# at the installation's root under the name a user starts, and links only its
# own library (as needed: it loads none of the game's media libraries).
set(TESSARAK_PROGRAM_Launcher_NAME tessarak-launcher)
set(TESSARAK_PROGRAM_Launcher_FOLDER "")
set(TESSARAK_PROGRAM_Launcher_LINKS launcher)

# The game is also built unoptimised with debug information, as
# System/Tessarak_debug beside it, from its own copy of every library.
option(TESSARAK_DEBUG_GAME "Build System/Tessarak_debug (unoptimised, with debug information)" ON)

function(tessarak_link_all)
  add_library(tessarak_all INTERFACE)
  foreach(src ${TESSARAK_PROGRAMS})
    get_filename_component(prog ${src} NAME_WE)
    string(REGEX REPLACE "_main$" "" prog ${prog})
    add_executable(${prog} ${src})
    set(folder ${CMAKE_BINARY_DIR}/install/System)
    if(DEFINED TESSARAK_PROGRAM_${prog}_FOLDER)
      set(folder ${CMAKE_BINARY_DIR}/install/${TESSARAK_PROGRAM_${prog}_FOLDER})
    endif()
    set_target_properties(${prog} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${folder})
    if(DEFINED TESSARAK_PROGRAM_${prog}_NAME)
      set_target_properties(${prog} PROPERTIES OUTPUT_NAME ${TESSARAK_PROGRAM_${prog}_NAME})
    endif()
    if(DEFINED TESSARAK_PROGRAM_${prog}_LINKS)
      target_link_libraries(${prog} PRIVATE ${TESSARAK_PROGRAM_${prog}_LINKS})
      target_link_options(${prog} PRIVATE -Wl,--as-needed)
    else()
      target_link_libraries(${prog} PRIVATE tessarak_all)
    endif()
  endforeach()
  foreach(name ${TESSARAK_SUBSYSTEMS})
    tessarak_resolve_deps(${name} deps)
    target_link_libraries(${name} PUBLIC ${deps})
  endforeach()
  # The programs link everything; the order comes from the dependencies.
  target_link_libraries(tessarak_all INTERFACE ${TESSARAK_SUBSYSTEMS} platform)
  if(TESSARAK_DEBUG_GAME AND TARGET Tessarak)
    tessarak_debug_program(Tessarak)
  endif()
endfunction()

# A copy of one of our libraries, <target><suffix>: its sources, settings and
# links, each of our libraries among the links (one that is no imported
# target) replaced by its own copy, made as needed; compiled with the options
# in TESSARAK_COPY_OPTIONS<suffix> besides. The copies are not built unless
# a program needs them. Imported libraries a copy links must be seen from the
# whole tree (IMPORTED_GLOBAL).
function(tessarak_copy_links out suffix)
  set(mapped "")
  foreach(lib ${ARGN})
    if(TARGET ${lib} AND NOT lib MATCHES "::")
      get_target_property(imported ${lib} IMPORTED)
      if(NOT imported)
        tessarak_copy_library(${lib} ${suffix})
        list(APPEND mapped ${lib}${suffix})
        continue()
      endif()
    endif()
    list(APPEND mapped ${lib})
  endforeach()
  set(${out} ${mapped} PARENT_SCOPE)
endfunction()

function(tessarak_copy_library target suffix)
  if(TARGET ${target}${suffix})
    return()
  endif()
  get_target_property(type ${target} TYPE)
  get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
  if(NOT interface_links)
    set(interface_links "")
  endif()
  if(type STREQUAL "INTERFACE_LIBRARY")
    add_library(${target}${suffix} INTERFACE)
    tessarak_copy_links(links ${suffix} ${interface_links})
    target_link_libraries(${target}${suffix} INTERFACE ${links})
    return()
  endif()
  get_target_property(srcs ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(abs "")
  foreach(src ${srcs})
    get_filename_component(src ${src} ABSOLUTE BASE_DIR ${source_dir})
    list(APPEND abs ${src})
  endforeach()
  add_library(${target}${suffix} STATIC EXCLUDE_FROM_ALL ${abs})
  foreach(property INCLUDE_DIRECTORIES COMPILE_DEFINITIONS COMPILE_OPTIONS)
    get_target_property(value ${target} ${property})
    if(value)
      set_property(TARGET ${target}${suffix} PROPERTY ${property} ${value})
    endif()
  endforeach()
  target_compile_options(${target}${suffix} PRIVATE ${TESSARAK_COPY_OPTIONS${suffix}})
  get_target_property(private_links ${target} LINK_LIBRARIES)
  if(private_links)
    tessarak_copy_links(links ${suffix} ${private_links})
    set_property(TARGET ${target}${suffix} PROPERTY LINK_LIBRARIES ${links})
  endif()
  tessarak_copy_links(links ${suffix} ${interface_links})
  set_property(TARGET ${target}${suffix} PROPERTY INTERFACE_LINK_LIBRARIES ${links})
endfunction()

# <program>_debug: the program built from copies of the libraries it links,
# compiled without optimisation, with debug information and with assertions.
set(TESSARAK_COPY_OPTIONS_debug -O0 -g -UNDEBUG)
function(tessarak_debug_program prog)
  tessarak_copy_links(libs _debug platform ${TESSARAK_SUBSYSTEMS})
  get_target_property(main ${prog} SOURCES)
  get_target_property(main_dir ${prog} SOURCE_DIR)
  get_filename_component(main ${main} ABSOLUTE BASE_DIR ${main_dir})
  add_executable(${prog}_debug ${main})
  target_compile_options(${prog}_debug PRIVATE ${TESSARAK_COPY_OPTIONS_debug})
  target_link_libraries(${prog}_debug PRIVATE ${libs})
  get_target_property(folder ${prog} RUNTIME_OUTPUT_DIRECTORY)
  set_target_properties(${prog}_debug PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${folder})
endfunction()

# The fuzz replays of an ordinary build run the code under test with the
# sanitizers the fuzzers use (address and undefined behaviour), not only
# their own harness: they link copies of the libraries built with them
# (<name>_san), which nothing else links.
set(TESSARAK_COPY_OPTIONS_san -fsanitize=address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)

# A fuzz target. With TESSARAK_FUZZ on clang it is a libFuzzer binary
# (fuzz_<name>); otherwise it is built with a small driver that replays the
# corpus folder beside the source plus a run of seeded random inputs, and runs
# as an ordinary test, with the harness and every library under the
# sanitizers the fuzzer uses (the _san copies).
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
    tessarak_copy_links(sanitized _san tessarak_all ${libs})
    target_link_libraries(fuzzreplay_${name} PRIVATE ${sanitized})
    target_compile_options(fuzzreplay_${name} PRIVATE ${TESSARAK_COPY_OPTIONS_san})
    target_link_options(fuzzreplay_${name} PRIVATE -fsanitize=address,undefined)
    if(FUZZ_SEEDS_TARGET)
      add_dependencies(fuzzreplay_${name} ${FUZZ_SEEDS_TARGET})
    endif()
    add_test(NAME fuzzreplay_${name} COMMAND fuzzreplay_${name} ${corpus})
    # A message box under the test display would wait for a click forever.
    set_tests_properties(fuzzreplay_${name} PROPERTIES ENVIRONMENT "TESSARAK_HEADLESS_DIALOGS=1")
  endif()
endfunction()
