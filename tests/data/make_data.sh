#!/usr/bin/env bash
# Writes the small ffmpeg recordings of this directory and, beside each, the
# figures ffprobe reads from it (NAME.ffprobe.txt) and the raw box figures
# (NAME.boxes.txt). Only this script needs ffmpeg; the tests read the files
# it leaves. Run it again only to remake the data; see README.md.
set -euo pipefail
cd "$(dirname "$0")"

# Debian's plain libavcodec has no AMR-NB encoder; libavcodec-extra is the
# same library built with opencore-amr, which gives libopencore_amrnb.
encoders=$(ffmpeg -hide_banner -encoders 2>/dev/null || true)
if ! command -v ffprobe >/dev/null || ! command -v python3 >/dev/null ||
   [[ $encoders != *libopencore_amrnb* ]]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq ffmpeg libavcodec-extra python3
fi

# Same bytes on every run: no encoder or muxer version strings where ffmpeg
# can leave them out, no metadata taken from the synthetic inputs, one fixed
# creation time (2020-01-01 00:00:00 UTC, 3660681600 in the movie and track
# headers), single-threaded encoders.
common=(-hide_banner -loglevel error -y -fflags +bitexact -flags +bitexact -threads 1)
output=(-map_metadata -1 -metadata creation_time=2020-01-01T00:00:00Z)
video=(-pix_fmt yuv420p -g 25)
x264=(-c:v libx264 -preset veryfast "${video[@]}")
size=160x120

# Durations are chosen so that no track lasts a whole number of seconds, and
# for the AAC and AMR tracks so that the edit list and the time-to-sample sum
# truncate to different seconds (encoder priming makes the media longer than
# the edit that plays it).
ffmpeg "${common[@]}" -f lavfi -i "testsrc=size=$size:rate=25" -t 2.6 \
  "${x264[@]}" -bf 2 "${output[@]}" h264_bframes.mp4
ffmpeg "${common[@]}" -f lavfi -i "testsrc=size=$size:rate=25" -t 3.2 \
  "${x264[@]}" -bf 0 "${output[@]}" h264_nobframes.mp4
ffmpeg "${common[@]}" -f lavfi -i "testsrc2=size=$size:rate=25" -t 2.4 \
  -c:v libx265 -preset veryfast -x265-params log-level=error:pools=1:frame-threads=1 \
  -tag:v hvc1 "${video[@]}" "${output[@]}" hevc.mp4
ffmpeg "${common[@]}" -f lavfi -i "smptebars=size=$size:rate=25" -t 1.8 \
  -c:v mpeg4 -q:v 5 "${video[@]}" "${output[@]}" mpeg4.mp4
ffmpeg "${common[@]}" -f lavfi -i "sine=frequency=440:sample_rate=16000" -t 2.95 \
  -c:a aac -b:a 32k -ac 1 "${output[@]}" aac.m4a
ffmpeg "${common[@]}" -f lavfi -i "sine=frequency=440:sample_rate=8000" -t 2.995 \
  -c:a libopencore_amrnb -b:a 12.2k -ar 8000 -ac 1 "${output[@]}" amrnb.3gp
ffmpeg "${common[@]}" -f lavfi -i "anoisesrc=sample_rate=8000:seed=7:amplitude=0.3" -t 1.7 \
  -c:a pcm_mulaw -ac 1 "${output[@]}" ulaw.mov
ffmpeg "${common[@]}" -f lavfi -t 2.4 -i "testsrc=size=$size:rate=25" \
  -f lavfi -t 2.98 -i "sine=frequency=1000:sample_rate=16000" -map 0:v -map 1:a \
  "${x264[@]}" -bf 2 -c:a aac -b:a 32k -ac 1 "${output[@]}" h264_aac.mp4
ffmpeg "${common[@]}" -f lavfi -i "testsrc=size=$size:rate=25" -t 2.2 \
  "${x264[@]}" -movflags frag_keyframe+empty_moov "${output[@]}" fragmented.mp4

files=(h264_bframes.mp4 h264_nobframes.mp4 hevc.mp4 mpeg4.mp4 aac.m4a amrnb.3gp ulaw.mov
       h264_aac.mp4 fragmented.mp4)
entries="format=format_name,nb_streams,duration"
entries+=":stream=index,id,codec_name,codec_type,codec_tag_string,width,height,sample_rate,channels"
entries+=",time_base,start_pts,duration_ts,duration,nb_frames"
entries+=":packet=stream_index,pts,dts,duration,size,pos,flags,data_hash"
version=$(ffprobe -version | head -n 1 | cut -d " " -f 1-3)
for f in "${files[@]}"; do
  {
    echo "# $version: ffprobe -show_entries $entries -show_data_hash CRC32 -of compact $f"
    # A packet with side data (the AAC priming packet) gets an empty
    # side_data section that breaks its line in two; join it back.
    ffprobe -v error -show_entries "$entries" -show_data_hash CRC32 -of compact "$f" |
      sed -e ':a' -e '/|side_data|$/{N;s/|side_data|\n|/|/;ba' -e '}'
  } > "$f.ffprobe.txt"
  python3 box_figures.py "$f" > "$f.boxes.txt"
done
ls -l "${files[@]}"
