#!/usr/bin/env python3
"""Writes the box-level figures of one ISO media file in the line format of
the ffprobe figure files (see README.md): the top-level box types, the movie
header, and per track the header, media header, first sample entry, sample
size table, time-to-sample sums and edit list sums that sample counts and
track durations are worked out from, and the sample entry's audio fields and
parameter sets that the frame headers and key-frame payloads are worked out
from. A second reader beside ffprobe, so that
the expected values of the data tests rest on the raw boxes too. For a protected track it also writes the protection boxes
of the sample entry (frma, schm, tenc), the sample auxiliary information
sizes (saiz) and every sample's encryption record of "senc"."""
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


# A protected entry ("encv", "enca") keeps the layout of the entry it hides.
VISUAL_ENTRIES = {b"avc1", b"hvc1", b"hev1", b"mp4v", b"encv"}
AUDIO_ENTRIES = {b"mp4a", b"samr", b"ulaw", b"alaw", b"enca"}
AUDIO_CHILDREN_START = 36  # header, 6 reserved, data_reference_index, 20 bytes of audio fields
VISUAL_CHILDREN_START = 86


def start_code_form(units):
    return "".join("00000001" + unit.hex() for unit in units)


def read_avcc(config):
    """SPS then PPS of an avcC payload, and the NAL length size."""
    units = []
    p = 6
    for _ in range(config[5] & 0x1F):
        length = struct.unpack(">H", config[p:p + 2])[0]
        units.append(config[p + 2:p + 2 + length])
        p += 2 + length
    count = config[p]
    p += 1
    for _ in range(count):
        length = struct.unpack(">H", config[p:p + 2])[0]
        units.append(config[p + 2:p + 2 + length])
        p += 2 + length
    return (config[4] & 3) + 1, units


def read_hvcc(config):
    """The VPS, SPS and PPS units (NAL types 32 to 34) of an hvcC payload in
    array order, without the SEI arrays, and the NAL length size."""
    units = []
    p = 23
    for _ in range(config[22]):
        nal_type = config[p] & 0x3F
        count = struct.unpack(">H", config[p + 1:p + 3])[0]
        p += 3
        for _ in range(count):
            length = struct.unpack(">H", config[p:p + 2])[0]
            if 32 <= nal_type <= 34:
                units.append(config[p + 2:p + 2 + length])
            p += 2 + length
    return (config[21] & 3) + 1, units


def read_sample_entry(data, entry):
    """The audio fields of the first sample entry (channel count, sample
    size, integer part of the 16.16 sample rate), or the NAL length size and
    the parameter sets of an AVC or HEVC entry in start-code form."""
    size, kind = struct.unpack(">I4s", data[entry:entry + 8])
    fields = {}
    if kind in AUDIO_ENTRIES:
        channels, sample_size = struct.unpack(">HH", data[entry + 24:entry + 28])
        fields["sample_rate"] = u32(data, entry + 32) >> 16
        fields["channel_count"] = channels
        fields["sample_size"] = sample_size
    if kind in VISUAL_ENTRIES:
        for child, body, stop in children(data, entry + VISUAL_CHILDREN_START, entry + size):
            reader = {b"avcC": read_avcc, b"hvcC": read_hvcc}.get(child)
            if reader:
                length_size, units = reader(data[body:stop])
                fields["nal_length_size"] = length_size
                fields["parameter_sets"] = start_code_form(units)
    return fields


def protection_box(data, entry):
    """The body and end of the sinf box of a protected sample entry, or None."""
    size, kind = struct.unpack(">I4s", data[entry:entry + 8])
    start = {b"encv": VISUAL_CHILDREN_START, b"enca": AUDIO_CHILDREN_START}.get(kind)
    if start is None:
        return None
    for child, body, stop in children(data, entry + start, entry + size):
        if child == b"sinf":
            return body, stop
    return None


def read_protection(data, body, stop):
    """The original format (frma), the scheme (schm) and the track encryption
    defaults (tenc) of a sinf box."""
    fields = {}
    for kind, child, end in children(data, body, stop):
        if kind == b"frma":
            fields["original_format"] = data[child:child + 4].decode("latin-1")
        elif kind == b"schm":
            fields["scheme_type"] = data[child + 4:child + 8].decode("latin-1")
            fields["scheme_version"] = "0x%x" % u32(data, child + 8)
        elif kind == b"schi":
            for leaf, p, _ in children(data, child, end):
                if leaf == b"tenc":
                    # version and flags, 2 reserved bytes, then the defaults
                    fields["default_is_protected"] = data[p + 6]
                    fields["default_iv_size"] = data[p + 7]
                    fields["default_kid"] = data[p + 8:p + 24].hex()
    return fields


def read_saiz(data, body):
    """The default sample information size, the sample count and the
    per-sample sizes (when the default is 0) of a saiz box."""
    flags = u32(data, body) & 0xFFFFFF
    p = body + 4 + (8 if flags & 1 else 0)
    default, count = data[p], u32(data, p + 1)
    sizes = list(data[p + 5:p + 5 + count]) if default == 0 else [default] * count
    return default, count, sizes


def read_senc(data, body, stop, iv_size):
    """The flags of a senc box and its records: (IV, [(clear, protected)])
    per sample, the pairs only when flag 2 announces sub-samples. The
    records must fill the box exactly."""
    flags = u32(data, body) & 0xFFFFFF
    count = u32(data, body + 4)
    p = body + 8
    records = []
    for _ in range(count):
        iv = data[p:p + iv_size]
        p += iv_size
        pairs = None
        if flags & 2:
            pairs = []
            for _ in range(struct.unpack(">H", data[p:p + 2])[0]):
                pairs.append(struct.unpack(">HI", data[p + 2 + 6 * len(pairs):p + 8 + 6 * len(pairs)]))
            p += 2 + 6 * len(pairs)
        records.append((iv, pairs))
    if p != stop:
        raise ValueError("senc records end at %d, the box at %d" % (p, stop))
    return flags, records


def protection_lines(data, index, track):
    """The protection line and one encryption line per sample of a protected
    track, in the format of the other lines."""
    protection = track["protection"]
    iv_size = protection.get("default_iv_size", 8)
    lines = []
    default, count, sizes = track["saiz"] if "saiz" in track else (0, 0, [])
    flags, records = read_senc(data, *track["senc"], iv_size) if "senc" in track else (0, [])
    record_sizes = [len(iv) + (2 + 6 * len(pairs) if pairs is not None else 0) for iv, pairs in records]
    if "saiz" in track and sizes != record_sizes:
        raise ValueError("saiz sizes do not match the senc records of track %d" % index)
    fields = dict(protection, saiz_default_size=default, saiz_sample_count=count, senc_flags=flags,
                  senc_sample_count=len(records))
    lines.append("protection|index=%d|" % index + "|".join("%s=%s" % (k, fields.get(k, "")) for k in PROTECTION_KEYS))
    for sample, (iv, pairs) in enumerate(records):
        maps = "none" if pairs is None else ",".join("%d:%d" % pair for pair in pairs)
        lines.append("encryption|track=%d|sample=%d|iv=%s|subsamples=%s" % (index, sample, iv.hex(), maps))
    return lines


def read_track(data, boxes):
    track = {"media_header": "none", "edits": 0, "edit_nonempty_sum": 0, "edit_empty_sum": 0, "edit_media_times": "",
             "stts_samples": 0, "stts_delta_sum": 0, "ctts": 0, "stss_entries": "none"}
    for path, body, stop in boxes:
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
            track.update(read_sample_entry(data, p + 4))
            sinf = protection_box(data, p + 4)
            if sinf:
                track["protection"] = read_protection(data, *sinf)
        elif kind == b"saiz":
            track["saiz"] = read_saiz(data, body)
        elif kind == b"senc":
            track["senc"] = (body, stop)
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
              "edits", "edit_nonempty_sum", "edit_empty_sum", "edit_media_times", "sample_rate", "channel_count",
              "sample_size", "nal_length_size", "parameter_sets"]

PROTECTION_KEYS = ["original_format", "scheme_type", "scheme_version", "default_is_protected", "default_iv_size",
                   "default_kid", "saiz_default_size", "saiz_sample_count", "senc_flags", "senc_sample_count"]



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
        if "protection" in track or "senc" in track:
            track.setdefault("protection", {})
            print("\n".join(protection_lines(data, index, track)))


if __name__ == "__main__":
    main(sys.argv[1])
