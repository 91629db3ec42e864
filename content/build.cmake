# Assembles the demo installation: content_build turns every "<name>.box"
# folder under Tessarak/ into a pack file and copies the rest, into
# ${CMAKE_BINARY_DIR}/install/Tessarak beside the programs in System/.
file(GLOB_RECURSE content_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/Tessarak/*)
set(content_stamp ${CMAKE_BINARY_DIR}/content.stamp)
add_custom_command(
  OUTPUT ${content_stamp}
  COMMAND content_build ${CMAKE_CURRENT_SOURCE_DIR}/Tessarak ${CMAKE_BINARY_DIR}/install/Tessarak
  COMMAND ${CMAKE_COMMAND} -E touch ${content_stamp}
  DEPENDS content_build ${content_sources}
  COMMENT "Building the demo content"
  VERBATIM)
add_custom_target(content ALL DEPENDS ${content_stamp})
