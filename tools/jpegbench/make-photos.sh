#!/usr/bin/env bash
# Makes the benchmark photos: real photographs from the Debian package
# mate-backgrounds, tiled with mirrored copies (so the detail and statistics
# stay those of real photos) to 9 to 24 megapixels, and encoded with cjpeg as
# 4:4:4 at quality 99 and 4:2:0 and 4:2:2 at quality 90; and progressive
# ones: 4:2:0 at quality 90 made by cjpeg -progressive, and the 4:4:4 and
# 4:2:2 photos transcoded by jpegtran -progressive. They are large and not
# committed.
#   tools/jpegbench/make-photos.sh DIR
set -euo pipefail
dir=${1:?usage: make-photos.sh DIR}
src=/usr/share/backgrounds/mate/nature
mkdir -p "$dir"
make_photo() {  # name source geometry
  local ppm="$dir/$1.ppm"
  convert "$src/$2" \( +clone -flop \) \( -clone 0 \) +append \( +clone -flip \) \( -clone 0 \) -append \
    -crop "$3+0+0" +repage "ppm:$ppm"
  cjpeg -quality 99 -sample 1x1 -outfile "$dir/$1-444q99.jpg" "$ppm"
  cjpeg -quality 90 -sample 2x2 -outfile "$dir/$1-420q90.jpg" "$ppm"
  cjpeg -quality 90 -sample 2x1 -outfile "$dir/$1-422q90.jpg" "$ppm"
  cjpeg -quality 90 -sample 2x2 -progressive -outfile "$dir/$1-420q90-progressive.jpg" "$ppm"
  jpegtran -progressive -outfile "$dir/$1-444q99-progressive.jpg" "$dir/$1-444q99.jpg"
  jpegtran -progressive -outfile "$dir/$1-422q90-progressive.jpg" "$dir/$1-422q90.jpg"
  rm "$ppm"
}
make_photo aqua Aqua.jpg 3840x2400                 #  9.2 MP
make_photo storm Storm.jpg 3840x2560               #  9.8 MP
make_photo ladybird LadyBird.jpg 4800x3000         # 14.4 MP
make_photo garden Garden.jpg 5120x3200             # 16.4 MP
make_photo wood Wood.jpg 5120x3840                 # 19.7 MP
make_photo yellowflower YellowFlower.jpg 6000x4000 # 24.0 MP
ls -l "$dir"
