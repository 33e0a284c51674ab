#!/bin/sh
# Makes the .deb from the build, unpacks it into a scratch root and runs the
# installed command there: its help, and a one-second job on a clip and logo
# captures made with the ffmpeg command. Fails on the first step that does.
#   deb_test.sh CPACK BUILD_DIR SCRATCH_DIR
set -eu
cpack=$1 build=$2 scratch=$3

rm -rf "$scratch"
mkdir -p "$scratch/root" "$scratch/work"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/packages" >"$scratch/cpack.log"
deb=$(ls "$scratch"/packages/pendra_*.deb)

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libavformat libavcodec libavutil libswscale; do
    echo "$depends" | grep -q "$lib[0-9]" || { echo "Depends does not name $lib"; exit 1; }
done

dpkg -x "$deb" "$scratch/root"
pendra=$scratch/root/usr/bin/pendra
for file in usr/lib/pendra/pendra usr/lib/pendra/plugins/Pendra04.vdf \
    usr/lib/pendra/plugins/pendra/Pendra.html usr/lib/pendra/plugins/pendra/Pendra.ini; do
    [ -f "$scratch/root/$file" ] || { echo "the package lacks $file"; exit 1; }
done

"$pendra" --help | grep -q "usage: pendra COMMAND"

# A second of video and a logo over black and over white, a half-transparent
# white box with a black frame around it.
cd "$scratch/work"
quiet="-loglevel error -nostdin"
ffmpeg $quiet -f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -pix_fmt yuv420p in.mp4
for n in 0 1; do
    background=black
    [ $n = 1 ] && background=white
    ffmpeg $quiet -f lavfi -i "color=c=$background:s=40x24,drawbox=x=6:y=4:w=28:h=16:color=white@0.5:t=fill" \
        -frames:v 1 -pix_fmt bgr24 "logo$n.bmp"
done
"$pendra" process in.mp4 out.mp4 --logo logo0.bmp --x 260 --y 16 2>job.log ||
    { cat job.log; exit 1; }
frames=$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=nb_read_frames -of csv=p=0 out.mp4)
[ "$frames" = 25 ] || { echo "out.mp4 has $frames frames, not 25"; exit 1; }
echo "the installed pendra filtered $frames frames"
