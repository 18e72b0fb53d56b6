/*
 * How much of a fragmented recording the media reader read when it opened
 * it: the movie fragments that were whole, where they end in the file, and
 * what follows them. A recording still being written, or cut short by a
 * power loss, ends with an unfinished fragment; a new open of a growing file
 * reads the fragments added since. A companion of AVReader for callers that
 * check a recording rather than play it.
 */
#ifndef STAMPWALK_ISOM_FRAGMENTPROGRESS_H
#define STAMPWALK_ISOM_FRAGMENTPROGRESS_H

#include <stdint.h>

#include "isom/AVReader.h"

#ifdef __cplusplus
struct TFragmentProgress {
    uint32_t fragmented;        /* 1 when the movie announces movie fragments (an mvex box) */
    uint32_t completeFragments; /* movie fragments read whole, every sample of them in the file */
    uint64_t endOffset;         /* file offset where the boxes read after the movie box end */
    uint64_t bytesAfter;        /* bytes from endOffset to the end of the file: an unfinished
                                   fragment, or bytes that are not boxes */
};

/* The progress of the reader's open. 0 on success, with every field 0 for a
 * movie that has no fragments; kInvalidArgument for a null argument or a
 * reader of another kind. */
int32_t AVReaderGetFragmentProgress(AVReader* reader, TFragmentProgress* progress);
#endif

#endif
