#!/bin/sh
# One frame of a corpus case enlarged four times, the clean twin, the input,
# delogo's, the true captures' and --auto's outputs stacked top to bottom, for
# looking at what the PSNR hides (outlines, speckles).
#   bench/corpus/crops.sh CASE_FOLDER FRAME X Y W H OUT.png
set -eu
if [ $# -ne 7 ]; then
    echo "usage: $0 CASE_FOLDER FRAME X Y W H OUT.png" >&2
    exit 2
fi
dir=$1 frame=$2 x=$3 y=$4 w=$5 h=$6 out=$7
inputs="" graph="" stack="" n=0
for video in "$dir"/twin.* "$dir"/input.* "$dir"/delogo.mkv "$dir"/true.mkv "$dir"/auto.mkv; do
    [ -f "$video" ] || continue # auto.mkv is missing where --auto refused
    inputs="$inputs -i $video"
    graph="${graph}[$n:v]select=eq(n\\,$frame),crop=$w:$h:$x:$y,scale=iw*4:ih*4:flags=neighbor,format=rgb24[v$n];"
    stack="${stack}[v$n]"
    n=$((n + 1))
done
if [ "$n" -eq 0 ]; then
    echo "$0: no case videos in $dir" >&2
    exit 1
fi
# shellcheck disable=SC2086 # the inputs are separate words on purpose
nice -n 19 ffmpeg -v error -nostdin -y $inputs -filter_complex "${graph}${stack}vstack=inputs=$n" \
    -frames:v 1 "$out"
