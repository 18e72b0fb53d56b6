/*
 * The reader of recordings in progress from a C program, through the shared
 * library: a missing file, then one second of 25 fps H.264 written by
 * record_simulator (one chunk, a key frame and 24 predicted frames).
 *
 *   view_while_rec_from_c MISSING_PATH RECORDING
 */
#include <stdio.h>

#include "PacketLayout.h"
#include "viewwhilerecording/ViewWhileRec.h"

static int failures = 0;

static void Check(int holds, const char* what) {
    if (!holds) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: view_while_rec_from_c MISSING_PATH RECORDING\n");
        return 2;
    }
    VIEWWHILEREC_HANDLE parser = NULL;
    Check(VIEWWHILEREC_InitParser(&parser, argv[1]) == kIOError, "a missing file is an I/O error");
    Check(parser == NULL, "the handle is written only on success");
    Check(VIEWWHILEREC_InitParser(NULL, argv[2]) == kInvalidArgument, "no handle to write is an invalid argument");

    Check(VIEWWHILEREC_InitParser(&parser, argv[2]) == kOk, "the recording opens");
    if (parser == NULL) return 1;
    Check(VIEWWHILEREC_IsEncrypted(parser) == 0, "the recording is not protected");
    int packets = 0;
    int keyFrames = 0;
    TMediaPacket* packet = NULL;
    int32_t status;
    while ((status = VIEWWHILEREC_OutputRawPacket(parser, &packet)) == kOk) {
        ++packets;
        if (packet->frameType == kFrameIntra) ++keyFrames;
        Check(packet->codecType == kCodecH264, "every packet is H.264");
        Check(packet->frameType == (packets == 1 ? kFrameIntra : kFramePredicted), "a key frame, then predicted ones");
        Check(packet->frameData != NULL && packet->payloadSize > 0, "every packet has a payload");
        Check(packet->releaseOps != NULL && packet->releaseOps->addRef != NULL, "packets can be kept");
    }
    Check(status == kNoNewData, "the end is the no-new-data status");
    Check(packets == 25, "25 packets");
    Check(keyFrames == 1, "one key frame");
    Check(VIEWWHILEREC_ReleaseParser(&parser) == kOk && parser == NULL, "the release clears the handle");

    printf("%d packets, %d check(s) failed\n", packets, failures);
    return failures == 0 ? 0 : 1;
}
