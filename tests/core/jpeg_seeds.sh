#!/bin/sh
# Makes the seed pictures of the JPEG fuzz target in the folder given: small
# JPEGs of many kinds (sampling factors, progressive and baseline, grey, RGB
# and CMYK colour, arithmetic coding, restart markers, optimized tables, odd
# sizes, comments), so that the fuzzer starts from streams the decoder takes
# and reaches our own code behind it. ImageMagick's convert, cjpeg and
# jpegtran make them; a kind whose tool is missing is left out.
set -u
out=$1
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export MAGICK_THREAD_LIMIT=1

have() { command -v "$1" >/dev/null 2>&1; }
made=0
im() {  # name, size, options...
  name=$1 size=$2
  shift 2
  convert -size "$size" -seed 7 plasma:fractal "$@" "JPEG:$out/$name.jpg" 2>/dev/null && made=$((made + 1))
}
if have convert; then
  im baseline-420 16x16 -quality 75
  im sampling-422 17x9 -sampling-factor 2x1 -quality 60
  im sampling-444 9x13 -sampling-factor 1x1 -quality 90
  im sampling-411 33x7 -sampling-factor 4x1 -quality 50
  im sampling-440 7x33 -sampling-factor 1x2 -quality 50
  im progressive 24x24 -interlace Plane -quality 70
  im grey 13x11 -colorspace Gray -quality 60
  im grey-progressive 16x8 -colorspace Gray -interlace Plane -quality 80
  im cmyk 8x8 -colorspace CMYK -quality 70
  im pixel 1x1 -quality 75
  im column 1x17 -quality 75
  im row 257x3 -quality 40
  im quality-1 16x16 -quality 1
  im quality-100 16x16 -quality 100
  im comment 8x8 -comment "seed picture" -quality 75
  convert -size 32x32 -seed 7 plasma:fractal -depth 8 "PPM:$tmp/src.ppm" 2>/dev/null
  convert -size 16x8 -seed 7 plasma:fractal -colorspace Gray -depth 8 "PGM:$tmp/grey.pgm" 2>/dev/null
fi
if have cjpeg && [ -f "$tmp/src.ppm" ]; then
  cjpeg -rgb -quality 80 "$tmp/src.ppm" >"$out/rgb.jpg" && made=$((made + 1))
  cjpeg -dct float -smooth 30 -quality 85 "$tmp/src.ppm" >"$out/smoothed.jpg" && made=$((made + 1))
  cjpeg -baseline -quality 5 "$tmp/src.ppm" >"$out/baseline-tables.jpg" && made=$((made + 1))
  cjpeg -grayscale -quality 60 "$tmp/grey.pgm" >"$out/grey-cjpeg.jpg" && made=$((made + 1))
  cjpeg -sample 2x2,2x1,1x1 -quality 70 "$tmp/src.ppm" >"$out/sampling-mixed.jpg" && made=$((made + 1))
fi
if have jpegtran && [ -f "$out/baseline-420.jpg" ]; then
  base=$out/baseline-420.jpg
  jpegtran -arithmetic "$base" >"$out/arithmetic.jpg" && made=$((made + 1))
  jpegtran -arithmetic -progressive "$base" >"$out/arithmetic-progressive.jpg" && made=$((made + 1))
  jpegtran -restart 1 "$base" >"$out/restart-rows.jpg" && made=$((made + 1))
  jpegtran -progressive -restart 1B "$out/progressive.jpg" >"$out/restart-blocks-progressive.jpg" && made=$((made + 1))
  jpegtran -optimize "$base" >"$out/optimized.jpg" && made=$((made + 1))
  # Components in scans of their own (not interleaved), then refined.
  printf '0: 0 0 0 0;\n1: 0 0 0 0;\n2: 0 0 0 0;\n0: 1 63 0 1;\n1: 1 63 0 0;\n2: 1 63 0 0;\n0: 1 63 1 0;\n' >"$tmp/scans.txt"
  jpegtran -scans "$tmp/scans.txt" "$base" >"$out/scans.jpg" && made=$((made + 1))
  jpegtran -rotate 90 -trim "$out/sampling-422.jpg" >"$out/rotated.jpg" && made=$((made + 1))
  # A stream cut short.
  head -c 200 "$base" >"$out/truncated.jpg" && made=$((made + 1))
fi
find "$out" -name '*.jpg' -size 0 -delete
echo "jpeg seeds: $made pictures in $out"
