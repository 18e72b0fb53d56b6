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

# Protected copies of two of the files above, encrypted by ffmpeg's MP4 muxer
# with AES-128 in counter mode ("cenc"): the H.264 samples by sub-samples
# (each unit's length prefix and header byte clear, the rest protected), the
# AAC samples whole. -c copy keeps every sample as the clear file stores it.
# The key is FIPS-197's example AES-128 key; the key identifier spells
# "stampwalk_kid_01". -fflags +bitexact after the input makes the muxer start
# the initialisation vectors at 0 (one more per sample) instead of at a random
# value, so these files too come out the same on every run.
cenc_key=2b7e151628aed2a6abf7158809cf4f3c
cenc_kid=7374616d7077616c6b5f6b69645f3031
{
  echo "# AES-128 key and key identifier of the protected files, hexadecimal (make_data.sh)"
  echo "cenc|key=$cenc_key|kid=$cenc_kid|files=h264_cenc.mp4,aac_cenc.m4a"
} > cenc_key.txt
protected=(h264_cenc.mp4:h264_nobframes.mp4 aac_cenc.m4a:aac.m4a)
for pair in "${protected[@]}"; do
  f=${pair%%:*}
  clear=${pair#*:}
  ffmpeg -hide_banner -loglevel error -y -i "$clear" -c copy -fflags +bitexact "${output[@]}" \
    -encryption_scheme cenc-aes-ctr -encryption_key "$cenc_key" -encryption_kid "$cenc_kid" "$f"
  # Every packet carries its encryption record as side data, which breaks
  # its line like the priming packet's above; the priming packet has two side
  # data sections, so two more lines ("side_data|") to join. The decoders
  # complain about the encrypted bytes while ffprobe probes the streams:
  # -v fatal.
  {
    echo "# $version: ffprobe -show_entries $entries -show_data_hash CRC32 -of compact $f"
    ffprobe -v fatal -show_entries "$entries" -show_data_hash CRC32 -of compact "$f" |
      sed -e '/|side_data|$/{' -e ':a' -e 'N' -e '/\n|/!ba' -e 's/|side_data|\n\(side_data|\n\)*|/|/' -e '}'
  } > "$f.ffprobe.txt"
  python3 box_figures.py "$f" > "$f.boxes.txt"
  # The key is right only if ffmpeg's own decryption gives back the clear
  # file's packets.
  packets="packet=data_hash"
  if ! cmp -s <(ffprobe -v fatal -decryption_key "$cenc_key" -show_entries "$packets" -show_data_hash CRC32 \
                  -of compact "$f" | grep -o 'data_hash=.*') \
              <(ffprobe -v fatal -show_entries "$packets" -show_data_hash CRC32 -of compact "$clear" |
                  grep -o 'data_hash=.*'); then
    echo "make_data.sh: $f decrypted with the key is not $clear" >&2
    exit 1
  fi
done
ls -l "${protected[@]%%:*}" cenc_key.txt
