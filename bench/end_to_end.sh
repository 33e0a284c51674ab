#!/bin/sh
# End-to-end speed of `pendra process` against the ffmpeg command with the
# same encoder settings: a 1080p clip of 240 frames with a logo, made here with
# ffmpeg, re-encoded with libx264 at CRF 18 at presets medium and ultrafast,
# by ffmpeg without a filter, by ffmpeg with delogo on the logo's rectangle,
# and by pendra (pure un-blending, and repair with the module's blurs and noise),
# into Matroska files (MP4 output would add pendra's fast-start rewrite of the
# finished file, which the plain ffmpeg command does not do). Each run is
# timed twice; the table keeps the faster, with the larger of the two
# maximum resident set sizes (from /usr/bin/time). Prints a Markdown table.
#   bench/end_to_end.sh [PENDRA] [WORK_FOLDER]
set -eu

PENDRA=$(realpath "${1:-build-native/bin/pendra}")
WORK=${2:-${TMPDIR:-/tmp}/pendra-end-to-end}
FRAMES=240
X=1640 Y=40 W=240 H=100
mkdir -p "$WORK"
cd "$WORK"

# The logo: a ring and three bars, a light colour at half opacity, a clean
# border of at least 12 pixels. Captures over black and white, and the mask.
shape="lt(abs(hypot(X-50\,Y-50)-30)\,8)+between(X\,100\,220)*between(Y\,30\,70)*lt(mod(X\,40)\,28)"
capture() { # NAME R G B: the logo over that background, 24-bit BMP
    ffmpeg -v error -nostdin -y -f lavfi -i "color=black:size=${W}x${H},format=rgb24" \
        -vf "geq=r='if($shape\,$2\,$5)':g='if($shape\,$3\,$5)':b='if($shape\,$4\,$5)'" \
        -frames:v 1 -pix_fmt bgr24 "$1"
}
if [ ! -f clip.mp4 ]; then
    capture logo0.bmp 115 118 123 0
    capture logo1.bmp 243 245 250 255
    capture logo2.bmp 255 255 255 0
    # The clip: moving test pictures with a little grain, the logo laid over
    # at opacity 0.5, encoded nearly losslessly so that decoding costs as usual.
    ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=1920x1080:rate=25,noise=alls=2:allf=t" \
        -f lavfi -i "color=0xE6EBF5:size=${W}x${H},format=rgba" \
        -filter_complex "[1]geq=r='r(X\,Y)':g='g(X\,Y)':b='b(X\,Y)':a='128*($shape)'[logo];[0][logo]overlay=$X:$Y:shortest=1" \
        -frames:v $FRAMES -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p clip.mp4
fi

measure() { # LABEL PRESET COMMAND...: prints "fps rss_mib" of the faster of two runs
    label=$1 preset=$2
    shift 2
    best="" rss=0
    for attempt in 1 2; do
        rm -f out.mkv
        /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null 2>run.log || {
            echo "end_to_end: $label ($preset) failed:" >&2
            cat run.log >&2
            exit 1
        }
        read -r seconds kib <time.txt
        if [ -z "$best" ] || [ "$(echo "$seconds < $best" | bc)" = 1 ]; then best=$seconds; fi
        [ "$kib" -gt "$rss" ] && rss=$kib
    done
    printf "| %s | %s | %.1f | %d MiB |\n" "$label" "$preset" \
        "$(echo "$FRAMES / $best" | bc -l)" $((rss / 1024))
}

echo "| Run | Preset | Frames per second | Max RSS |"
echo "|---|---|---|---|"
for preset in medium ultrafast; do
    enc="-c:v libx264 -preset $preset -crf 18"
    # shellcheck disable=SC2086
    measure "ffmpeg, no filter" $preset ffmpeg -nostdin -y -i clip.mp4 $enc out.mkv
    # shellcheck disable=SC2086
    measure "ffmpeg -vf delogo" $preset ffmpeg -nostdin -y -i clip.mp4 \
        -vf "delogo=x=$X:y=$Y:w=$W:h=$H" $enc out.mkv
    measure "pendra, un-blending" $preset "$PENDRA" process clip.mp4 out.mkv \
        --logo logo0.bmp --x $X --y $Y --alpha 255 --bitmap-blur 0 --noise 0 \
        --preset $preset --crf 18
    measure "pendra, repair (alpha 0, blurs, noise)" $preset "$PENDRA" process clip.mp4 \
        out.mkv --logo logo0.bmp --x $X --y $Y --alpha 0 --preset $preset --crf 18
done
