#!/usr/bin/env python3
"""Writes the box-level figures of one ISO media file in the line format of
the ffprobe figure files (see README.md): the top-level box types, the movie
header, and per track the header, media header, first sample entry, sample
size table, time-to-sample sums and edit list sums that sample counts and
track durations are worked out from. A second reader beside ffprobe, so that
the expected values of the data tests rest on the raw boxes too."""
import struct
import sys

CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl", b"edts"}


def children(data, start, end):
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack(">I4s", data[pos:pos + 8])
        header = 8
        if size == 1:
            size = struct.unpack(">Q", data[pos + 8:pos + 16])[0]
            header = 16
        elif size == 0:
            size = end - pos
        if size < header or pos + size > end:
            raise ValueError("box at %d has a bad size" % pos)
        yield kind, pos + header, pos + size
        pos += size


def walk(data, start, end, path, found):
    for kind, body, stop in children(data, start, end):
        found.append((path + (kind,), body, stop))
        if kind in CONTAINERS:
            walk(data, body, stop, path + (kind,), found)


def u32(data, pos):
    return struct.unpack(">I", data[pos:pos + 4])[0]


def read_track(data, boxes):
    track = {"media_header": "none", "edits": 0, "edit_nonempty_sum": 0, "edit_empty_sum": 0, "edit_media_times": "",
             "stts_samples": 0, "stts_delta_sum": 0, "ctts": 0, "stss_entries": "none"}
    for path, body, _ in boxes:
        kind, parent = path[-1], path[-2]
        version = data[body]
        p = body + 4
        if kind == b"tkhd":
            if version == 1:
                track["creation_time"], _, track["track_id"] = struct.unpack(">QQI", data[p:p + 20])
            else:
                track["creation_time"], _, track["track_id"] = struct.unpack(">III", data[p:p + 12])
        elif kind == b"mdhd":
            if version == 1:
                track["media_timescale"], track["media_duration"] = struct.unpack(">IQ", data[p + 16:p + 28])
            else:
                track["media_timescale"], track["media_duration"] = struct.unpack(">II", data[p + 8:p + 16])
        elif kind == b"hdlr" and parent == b"mdia":
            # a QuickTime file has a second handler, of the data reference, in minf
            track["handler"] = data[p + 4:p + 8].decode("latin-1")
        elif kind in (b"vmhd", b"smhd", b"hmhd", b"nmhd") and parent == b"minf":
            track["media_header"] = kind.decode("latin-1")
        elif kind == b"elst":
            count = u32(data, p)
            p += 4
            media_times = []
            for _ in range(count):
                if version == 1:
                    segment, media_time = struct.unpack(">Qq", data[p:p + 16])
                    p += 20
                else:
                    segment, media_time = struct.unpack(">Ii", data[p:p + 8])
                    p += 12
                media_times.append(str(media_time))
                if media_time == -1:
                    track["edit_empty_sum"] += segment
                else:
                    track["edit_nonempty_sum"] += segment
            track["edits"] = count
            track["edit_media_times"] = ",".join(media_times)
        elif kind == b"stsd":
            track["sample_entry"] = data[p + 8:p + 12].decode("latin-1")
        elif kind == b"stsz":
            track["stsz_sample_size"], track["stsz_sample_count"] = struct.unpack(">II", data[p:p + 8])
        elif kind == b"stts":
            for i in range(u32(data, p)):
                count, delta = struct.unpack(">II", data[p + 4 + 8 * i:p + 12 + 8 * i])
                track["stts_samples"] += count
                track["stts_delta_sum"] += count * delta
        elif kind == b"ctts":
            track["ctts"] = u32(data, p)
        elif kind == b"stss":
            track["stss_entries"] = u32(data, p)
    return track


TRACK_KEYS = ["track_id", "handler", "media_header", "sample_entry", "creation_time", "media_timescale", "media_duration",
              "stsz_sample_size", "stsz_sample_count", "stts_samples", "stts_delta_sum", "ctts", "stss_entries",
              "edits", "edit_nonempty_sum", "edit_empty_sum", "edit_media_times"]


def main(name):
    data = open(name, "rb").read()
    found = []
    walk(data, 0, len(data), (), found)
    print("file|top_boxes=%s" % ",".join(p[0].decode("latin-1") for p, _, _ in found if len(p) == 1))
    for path, body, _ in found:
        if path == (b"moov", b"mvhd"):
            version = data[body]
            p = body + 4
            if version == 1:
                created, _, scale, duration = struct.unpack(">QQIQ", data[p:p + 28])
            else:
                created, _, scale, duration = struct.unpack(">IIII", data[p:p + 16])
            print("movie|timescale=%d|duration=%d|creation_time=%d" % (scale, duration, created))
    traks = [(body, stop) for path, body, stop in found if path == (b"moov", b"trak")]
    for index, (body, stop) in enumerate(traks):
        track = read_track(data, [(p, b, s) for p, b, s in found if len(p) > 2 and body <= b < stop])
        print("track|index=%d|" % index + "|".join("%s=%s" % (k, track.get(k, "")) for k in TRACK_KEYS))


if __name__ == "__main__":
    main(sys.argv[1])
