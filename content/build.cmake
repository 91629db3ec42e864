# Assembles the demo installation: content_build turns every "<name>.box"
# folder under Tessarak/ into a pack file and copies the rest, into
# ${CMAKE_BINARY_DIR}/install/Tessarak beside the programs in System/; files
# the build made for the content (the maps' radar pictures) join them from
# the generated folder.
find_program(FFMPEG_PROGRAM ffmpeg REQUIRED)
# Each demo map's radar picture: the map from above, drawn by map_picture
# from the map box's sources (its size, ground, rocks, trees and crystal
# fields) at two pixels a square, made a one-frame video by the ffmpeg tool
# into the generated folder, from which the content build puts it into the
# map's box as "radar.bik"; the same at 256 x 256 is the map's picture in the
# lobby, "background.bik".
set(content_generated ${CMAKE_BINARY_DIR}/content_generated)
set(generated_content)
file(GLOB map_boxes LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/Tessarak/Maps/*/MapData.box)
foreach(box ${map_boxes})
  get_filename_component(map_folder ${box} DIRECTORY)
  get_filename_component(map ${map_folder} NAME)
  set(dir ${content_generated}/Maps/${map}/MapData.box)
  set(ppm ${CMAKE_BINARY_DIR}/map_pictures/${map}.ppm)
  set(out ${dir}/radar.bik)
  set(picture ${dir}/background.bik)
  add_custom_command(OUTPUT ${out} ${picture}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir} ${CMAKE_BINARY_DIR}/map_pictures
    COMMAND map_picture ${box} ${ppm}
    COMMAND ${FFMPEG_PROGRAM} -v error -y -i ${ppm} -frames:v 1 -c:v mpeg4 -q:v 2 -f avi ${out}
    COMMAND ${FFMPEG_PROGRAM} -v error -y -i ${ppm} -vf scale=256:256:flags=neighbor -frames:v 1 -c:v mpeg4
            -q:v 3 -f avi ${picture}
    DEPENDS map_picture ${box}/init.vxm ${box}/visual.toml
    COMMENT "Making the radar picture and the lobby's picture of ${map}" VERBATIM)
  list(APPEND generated_content ${out} ${picture})
endforeach()

file(GLOB_RECURSE content_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/Tessarak/*)
set(content_stamp ${CMAKE_BINARY_DIR}/content.stamp)
add_custom_command(
  OUTPUT ${content_stamp}
  COMMAND content_build ${CMAKE_CURRENT_SOURCE_DIR}/Tessarak ${CMAKE_BINARY_DIR}/install/Tessarak ${content_generated}
  COMMAND ${CMAKE_COMMAND} -E touch ${content_stamp}
  DEPENDS content_build ${content_sources} ${generated_content}
  COMMENT "Building the demo content"
  VERBATIM)
add_custom_target(content ALL DEPENDS ${content_stamp})

# The demo's pictures, movie and music, made at build time with the ffmpeg
# command-line tool (nothing binary is kept in the tree): the console's
# background picture and the confirm dialog's two sprites in the GUI folder,
# a short movie (Anim_Play("Intro.bik");, Console_SetBackGroundAnim) and a
# music title (se_PlayMp3("Theme.mp3");).
set(demo ${CMAKE_BINARY_DIR}/install/Tessarak)
set(ff ${FFMPEG_PROGRAM} -v error -y)
file(MAKE_DIRECTORY ${demo}/GUI ${demo}/Movies ${demo}/Music)
add_custom_command(OUTPUT ${demo}/GUI/Console.jpg
  COMMAND ${ff} -f lavfi -i "gradients=s=640x480:c0=0x101830:c1=0x303860:n=2:seed=7" -frames:v 1 -q:v 4
          ${demo}/GUI/Console.jpg
  COMMENT "Making the console picture" VERBATIM)
add_custom_command(OUTPUT ${demo}/GUI/dialog_1.bmp ${demo}/GUI/dialog_2.bmp
  COMMAND ${ff} -f lavfi -i "color=c=0x404860:s=200x60" -frames:v 1 -pix_fmt bgr24 ${demo}/GUI/dialog_1.bmp
  COMMAND ${ff} -f lavfi -i "color=c=0x586078:s=200x60" -frames:v 1 -pix_fmt bgr24 ${demo}/GUI/dialog_2.bmp
  COMMENT "Making the confirm dialog's sprites" VERBATIM)
add_custom_command(OUTPUT ${demo}/Movies/Intro.bik
  COMMAND ${ff} -f lavfi -i "testsrc2=s=320x240:r=25:d=4" -f lavfi -i "sine=frequency=330:duration=4"
          -c:v mpeg4 -q:v 4 -c:a mp3 -f avi ${demo}/Movies/Intro.bik
  COMMENT "Making the demo movie" VERBATIM)
add_custom_command(OUTPUT ${demo}/Music/Theme.mp3
  COMMAND ${ff} -f lavfi -i "sine=frequency=220:duration=12" -f lavfi -i "sine=frequency=277:duration=12"
          -filter_complex "amix=inputs=2,volume=0.6" -c:a libmp3lame -b:a 96k ${demo}/Music/Theme.mp3
  COMMENT "Making the demo music" VERBATIM)
add_custom_target(demo_media ALL DEPENDS ${demo}/GUI/Console.jpg ${demo}/GUI/dialog_1.bmp ${demo}/Movies/Intro.bik
                                         ${demo}/Music/Theme.mp3)
add_dependencies(demo_media content)
