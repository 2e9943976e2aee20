#!/usr/bin/env bash
# Makes the small real files the format walks are tested on, as cameras, phones and
# editors write them: ImageMagick for the stills, ffmpeg for the movies, exiv2 for the
# EXIF date and thumbnail. Run from this folder; the files are checked in beside it.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -seed 7 -size 320x240 plasma:fractal "$tmp/base.png"
# A photo with an EXIF date and an embedded thumbnail (a whole JPEG inside APP1).
convert "$tmp/base.png" -quality 85 photo.jpg
convert "$tmp/base.png" -resize 80x60 -quality 70 photo-thumb.jpg
exiv2 -M"set Exif.Image.Make Quenvar" -M"set Exif.Photo.DateTimeOriginal 2021:07:14 09:30:05" photo.jpg
exiv2 -it photo.jpg
rm photo-thumb.jpg
convert "$tmp/base.png" -interlace Plane -quality 80 progressive.jpg
convert "$tmp/base.png" -resize 200x150 -depth 8 picture.png
convert "$tmp/base.png" -resize 160x120 -colors 64 picture.gif
convert "$tmp/base.png" -resize 120x90 -type TrueColor BMP3:picture.bmp
convert "$tmp/base.png" -resize 120x90 -compress lzw -define tiff:rows-per-strip=16 picture.tif
convert "$tmp/base.png" -resize 160x120 -quality 80 picture.webp
convert "$tmp/base.png" -resize 128x96 -quality 60 picture.heic
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=160x120:rate=10 -t 2 -c:v libx264 -pix_fmt yuv420p clip.mp4
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=160x120:rate=10 -t 2 -c:v libx264 -pix_fmt yuv420p -movflags +faststart clip-faststart.mp4
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=96x72:rate=10 -t 2 -c:v mjpeg clip.mov
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=176x144:rate=10 -t 2 -c:v mpeg4 clip.3gp
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=96x72:rate=10 -t 2 -c:v mjpeg clip.avi
