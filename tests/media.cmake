# Test sounds and videos, made at build time with the ffmpeg command-line tool
# into ${CMAKE_BINARY_DIR}/testmedia (nothing binary is kept in the tree).
# Videos carry the names the game uses (".bik"): the decoder opens files by
# their content, and no free encoder writes the original video format.
find_program(FFMPEG_PROGRAM ffmpeg REQUIRED)
set(TESSARAK_TEST_MEDIA ${CMAKE_BINARY_DIR}/testmedia)
file(MAKE_DIRECTORY ${TESSARAK_TEST_MEDIA})
set(ff ${FFMPEG_PROGRAM} -v error -y)
# Eight bars across the picture show the frame number in binary: bar i is
# white when bit i is set.
set(bars "geq=lum='if(mod(floor(N/pow(2,floor(X*8/W))),2),235,16)':cb=128:cr=128")
set(media_outputs "")
macro(test_media name)
  add_custom_command(OUTPUT ${TESSARAK_TEST_MEDIA}/${name} COMMAND ${ARGN} VERBATIM
                     COMMENT "Making test media ${name}")
  list(APPEND media_outputs ${TESSARAK_TEST_MEDIA}/${name})
endmacro()
# 24 frames at 25 a second, a key frame every 5, with a 440 Hz sound track.
test_media(counter.bik ${ff} -f lavfi -i "color=black:s=64x48:r=25:d=0.96,format=yuv420p,${bars}"
           -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=0.96"
           -c:v mpeg4 -q:v 2 -g 5 -bf 0 -c:a pcm_s16le -ac 1 -f avi ${TESSARAK_TEST_MEDIA}/counter.bik)
test_media(still.bik ${ff} -f lavfi -i "color=black:s=32x16:r=25:d=0.04,format=yuv420p,${bars}"
           -frames:v 1 -c:v mpeg4 -q:v 2 -f avi ${TESSARAK_TEST_MEDIA}/still.bik)
# A few frames at the NTSC rate, 30000 over 1001 frames a second.
test_media(ntsc.bik ${ff} -f lavfi -i "color=black:s=16x16:r=30000/1001:d=0.2,format=yuv420p"
           -c:v mpeg4 -q:v 2 -f avi ${TESSARAK_TEST_MEDIA}/ntsc.bik)
test_media(a.mp3 ${ff} -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=0.3" -c:a libmp3lame
           -b:a 128k ${TESSARAK_TEST_MEDIA}/a.mp3)
test_media(b.mp3 ${ff} -f lavfi -i "sine=frequency=880:sample_rate=44100:duration=0.3" -c:a libmp3lame
           -b:a 128k ${TESSARAK_TEST_MEDIA}/b.mp3)
test_media(adpcm.wav ${ff} -f lavfi -i "sine=frequency=440:sample_rate=22050:duration=0.2" -c:a adpcm_ima_wav
           ${TESSARAK_TEST_MEDIA}/adpcm.wav)
# The decoding benchmark's clip: ten seconds of 640 x 480.
test_media(bench640.bik ${ff} -f lavfi -i "testsrc2=s=640x480:r=25:d=10" -c:v mpeg4 -q:v 3 -g 25 -bf 0 -f avi
           ${TESSARAK_TEST_MEDIA}/bench640.bik)
add_custom_target(testmedia ALL DEPENDS ${media_outputs})
