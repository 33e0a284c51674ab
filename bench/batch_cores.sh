#!/bin/sh
# How busy a batch keeps the machine's cores: eight short 720p clips (125
# frames each, made here with ffmpeg) through `pendra batch` into H.264 at
# the defaults (libx264 medium, CRF 18), once per worker count. While each
# batch runs, /proc/stat is sampled every half second; the table gives each
# core's busy share over the run (everything the machine did, so run it on
# an otherwise idle machine), and the share of all cores that the batch's
# own processes used (their CPU time from /usr/bin/time over wall time x
# cores), which other load does not inflate; the difference is what other
# programs took meanwhile, near 0 on an idle machine. Prints a Markdown table.
#   bench/batch_cores.sh [PENDRA] [WORK_FOLDER] [WORKER_COUNTS]
set -eu

PENDRA=$(realpath "${1:-build-native/bin/pendra}")
WORK=${2:-${TMPDIR:-/tmp}/pendra-batch-cores}
COUNTS=${3:-"1 2 3 4"}
CORES=$(nproc)
mkdir -p "$WORK"
cd "$WORK"

if [ ! -f clip8.mp4 ]; then
    # The demo's logo set (112x56, for x 504, y 20) and eight different clips.
    "$PENDRA" demo --folder demo >/dev/null 2>&1
    cp demo/logo0.bmp demo/logo1.bmp demo/logo2.bmp .
    for i in 1 2 3 4 5 6 7 8; do
        ffmpeg -v error -nostdin -y -f lavfi \
            -i "testsrc2=size=1280x720:rate=25,hue=h=$((i * 40)),noise=alls=2:allf=t" \
            -frames:v 125 -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p "clip$i.mp4"
    done
fi
{
    echo "input,output,options"
    for i in 1 2 3 4 5 6 7 8; do
        echo "clip$i.mp4,out/clip$i.mkv,--logo logo0.bmp --x 504 --y 20"
    done
} >list.csv

# Busy and total jiffies of each core, one "cpuN busy total" line each.
sample() {
    awk '/^cpu[0-9]/ { total = 0; for (i = 2; i <= NF; i++) total += $i;
                       print $1, total - $5 - $6, total }' /proc/stat
}

echo "| Workers | Wall | Frames/s | $(seq 0 $((CORES - 1)) | sed 's/.*/cpu& busy/' | paste -sd'|' | sed 's/|/ | /g') | Batch's own share | Others |"
echo "|---|---|---|$(seq 1 "$CORES" | sed 's/.*/---/' | paste -sd'|')|---|---|"
for workers in $COUNTS; do
    rm -rf out list-batch list-report.json
    mkdir out
    sample >start.txt
    # The sampler runs beside the batch; its samples show the run's course
    # (kept in samples-N.txt), the first and last give the averages.
    (while :; do sample; echo; sleep 0.5; done) >"samples-$workers.txt" &
    sampler=$!
    /usr/bin/time -f "%e %U %S" -o time.txt "$PENDRA" batch list.csv --workers "$workers" \
        2>/dev/null
    sample >end.txt
    kill "$sampler"
    read -r wall user system <time.txt
    frames=$((8 * 125))
    shares=$(join start.txt end.txt |
        awk '{ printf "%s%.0f %%", (NR > 1 ? " | " : ""), 100 * ($4 - $2) / ($5 - $3) }')
    own=$(awk -v u="$user" -v s="$system" -v w="$wall" -v c="$CORES" \
        'BEGIN { printf "%.0f", 100 * (u + s) / (w * c) }')
    busy=$(join start.txt end.txt | awk '{ b += $4 - $2; t += $5 - $3 } END { printf "%.0f", 100 * b / t }')
    others=$((busy > own ? busy - own : 0))
    fps=$(awk -v f="$frames" -v w="$wall" 'BEGIN { printf "%.1f", f / w }')
    echo "| $workers | ${wall} s | $fps | $shares | $own % | $others % |"
done
