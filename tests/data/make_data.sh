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
figures() {
  local f
  for f in "$@"; do
    {
      echo "# $version: ffprobe -show_entries $entries -show_data_hash CRC32 -of compact $f"
      # A packet with side data (the AAC priming packet) gets an empty
      # side_data section that breaks its line in two; join it back.
      ffprobe -v error -show_entries "$entries" -show_data_hash CRC32 -of compact "$f" |
        sed -e ':a' -e '/|side_data|$/{N;s/|side_data|\n|/|/;ba' -e '}'
    } > "$f.ffprobe.txt"
    python3 box_figures.py "$f" > "$f.boxes.txt"
  done
}
figures "${files[@]}"
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

# One scene in several builds for the checker: 4 s of testsrc (100 frames,
# H.264 without B-frames, a key frame every 25) and a 1 kHz tone (AAC, 16 kHz
# mono), each build with one known fault in its video track. -fps_mode
# passthrough keeps the frame times the filter leaves; without it the muxer's
# constant frame rate would fill the hole and the jump with copies.
scene=(-f lavfi -t 4 -i "testsrc=size=$size:rate=25" -f lavfi -t 4 -i "sine=frequency=1000:sample_rate=16000"
       -map 0:v -map 1:a)
codecs=("${x264[@]}" -bf 0 -c:a aac -b:a 32k -ac 1)
ffmpeg "${common[@]}" "${scene[@]}" "${codecs[@]}" "${output[@]}" check_clean.mp4
# Frame 40 left out: one frame time missing between the frames 39 and 41.
ffmpeg "${common[@]}" "${scene[@]}" -vf "select='not(eq(n\,40))'" -fps_mode passthrough \
  "${codecs[@]}" "${output[@]}" check_dropped.mp4
# Frames 60 on two seconds later.
ffmpeg "${common[@]}" "${scene[@]}" -vf "setpts='PTS+if(gte(N\,60)\,2/TB\,0)'" -fps_mode passthrough \
  "${codecs[@]}" "${output[@]}" check_jump.mp4
# A key frame forced at frame 35; the encoder counts the next 25 from it.
ffmpeg "${common[@]}" "${scene[@]}" -force_key_frames "expr:eq(n,35)" "${codecs[@]}" "${output[@]}" check_gop.mp4

# Two copies of check_clean.mp4 patched in place, every other byte the same:
# check_keymoved.mp4 with the last sync-sample entry of the video track one
# sample later (76 -> 77), check_corrupt.mp4 with the IDR unit of sample 51
# (a key frame) turned into a non-IDR slice unit (header byte type 5 -> 1).
python3 - check_clean.mp4 check_keymoved.mp4 check_corrupt.mp4 <<'PYTHON'
import struct
import sys

clean, keymoved, corrupt = sys.argv[1:]
data = open(clean, "rb").read()


def u32(pos):
    return struct.unpack(">I", data[pos:pos + 4])[0]


def find(start, end, path):
    while start < end:
        size, kind = u32(start), data[start + 4:start + 8]
        if kind == path[0]:
            return (start + 8, start + size) if len(path) == 1 else find(start + 8, start + size, path[1:])
        start += size
    raise ValueError("no box %s" % path[0])


def entries(stbl, kind, header):
    """The start of a table's 32-bit entries and their count."""
    body = find(*stbl, [kind])[0]
    return body + header, u32(body + header - 4)


# The video track is the first one.
trak = find(0, len(data), [b"moov", b"trak"])
assert data[find(*trak, [b"mdia", b"hdlr"])[0] + 8:][:4] == b"vide"
stbl = find(*trak, [b"mdia", b"minf", b"stbl"])
avcc = data.index(b"avcC", stbl[0]) + 4
assert data[avcc + 4] & 3 == 3, "4-byte unit lengths"

# The last sync-sample entry one sample later.
stss, keys = entries(stbl, b"stss", 8)
last = stss + 4 * (keys - 1)
moved = bytearray(data)
struct.pack_into(">I", moved, last, u32(last) + 1)
open(keymoved, "wb").write(moved)

# Sample offsets from the chunk offsets (stco), the samples per chunk (stsc)
# and the sample sizes (stsz, no constant size).
stsz, count = entries(stbl, b"stsz", 12)
assert u32(stsz - 8) == 0
sizes = [u32(stsz + 4 * i) for i in range(count)]
stsc, runs = entries(stbl, b"stsc", 8)
stco, chunks = entries(stbl, b"stco", 8)
offsets = []
for chunk in range(1, chunks + 1):
    per_chunk = [u32(stsc + 12 * r + 4) for r in range(runs) if u32(stsc + 12 * r) <= chunk][-1]
    pos = u32(stco + 4 * (chunk - 1))
    for _ in range(per_chunk):
        offsets.append(pos)
        pos += sizes[len(offsets) - 1]
assert len(offsets) == count

# Sample 51 (a sync sample): the first unit of type 5 behind the 4-byte
# length prefixes gets type 1, its other header bits kept.
sample = 51
assert any(u32(stss + 4 * k) == sample for k in range(keys))
pos, end = offsets[sample - 1], offsets[sample - 1] + sizes[sample - 1]
while data[pos + 4] & 0x1F != 5:
    pos += 4 + u32(pos)
    assert pos < end
broken = bytearray(data)
broken[pos + 4] = data[pos + 4] & 0xE0 | 1
open(corrupt, "wb").write(broken)
PYTHON
checks=(check_clean.mp4 check_dropped.mp4 check_jump.mp4 check_gop.mp4 check_keymoved.mp4 check_corrupt.mp4)
# ffprobe's parser reads the damaged slice header of check_corrupt.mp4 as a
# non-IDR one and complains about its reference marking; the figures are
# still whole.
figures "${checks[@]:0:5}"
figures check_corrupt.mp4 2>/dev/null
ls -l "${checks[@]}"

# Pairs for the comparison, remuxed from check_clean.mp4 without re-encoding
# (-c copy: every kept packet keeps its bytes): the same packets
# (compare_remux.mp4), video packet 40 dropped (compare_drop.mp4), and the
# video packets from 60 on half a second later (6400 ticks of 12800;
# compare_shift.mp4). check_dropped.mp4 is the re-encode with a dropped
# frame, check_keymoved.mp4 the moved key flag.
remux=(-hide_banner -loglevel error -y -i check_clean.mp4 -map 0 -c copy -fflags +bitexact "${output[@]}")
ffmpeg "${remux[@]}" compare_remux.mp4
ffmpeg "${remux[@]}" -bsf:v "noise=drop=eq(n\,40)" compare_drop.mp4
ffmpeg "${remux[@]}" -bsf:v "setts=ts=if(gte(N\,60)\,TS+6400\,TS)" compare_shift.mp4
pairs=(compare_remux.mp4 compare_drop.mp4 compare_shift.mp4)
figures "${pairs[@]}"
ls -l "${pairs[@]}"

# Fragmented recordings (a moov without samples, then moof + mdat pairs),
# remuxed from the clear files above without re-encoding, so that every
# packet keeps its bytes: H.264 + AAC fragmented at each key frame
# (frag_keyframe) with explicit base offsets, the same with
# default-base-is-moof, the same cut into fragments of at most 0.5 s of
# media (frag_duration, fragments begin inside GOPs), and HEVC. No encrypted
# one: Debian 12's ffmpeg (5.1) writes the sample encryption boxes of a
# fragmented cenc file into the moov only, so its fragments carry no
# initialisation vectors and its own demuxer reads no packet back; the
# reader's tests build protected fragments with the recording writers.
fragment=(-hide_banner -loglevel error -y -c copy -fflags +bitexact "${output[@]}")
ffmpeg -i h264_aac.mp4 "${fragment[@]}" -movflags frag_keyframe+empty_moov frag_h264_aac.mp4
ffmpeg -i h264_aac.mp4 "${fragment[@]}" -movflags frag_keyframe+empty_moov+default_base_moof frag_base_moof.mp4
ffmpeg -i h264_aac.mp4 "${fragment[@]}" -movflags empty_moov+default_base_moof -frag_duration 500000 \
  frag_duration.mp4
ffmpeg -i hevc.mp4 "${fragment[@]}" -tag:v hvc1 -movflags frag_keyframe+empty_moov frag_hevc.mp4
fragmented_files=(frag_h264_aac.mp4 frag_base_moof.mp4 frag_duration.mp4 frag_hevc.mp4)
figures "${fragmented_files[@]}"
ls -l "${fragmented_files[@]}"
