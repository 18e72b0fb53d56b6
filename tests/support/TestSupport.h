// Everything the writer of test recordings offers, in one include.
#ifndef STAMPWALK_TESTSUPPORT_TESTSUPPORT_H
#define STAMPWALK_TESTSUPPORT_TESTSUPPORT_H

#include "BoxBuilder.h"
#include "ByteWriter.h"
#include "CraftedInputs.h"
#include "EmbeddedFileWriter.h"
#include "FrameInfoRecordWriter.h"
#include "IsoBoxes.h"
#include "RecordingBuilder.h"
#include "SampleEntries.h"
#include "TempFile.h"

#endif
