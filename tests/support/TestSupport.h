// Everything the tests build their inputs with, in one include: the writer
// of recordings and temporary files.
#ifndef STAMPWALK_TESTSUPPORT_TESTSUPPORT_H
#define STAMPWALK_TESTSUPPORT_TESTSUPPORT_H

#include "support/TempFile.h"
#include "writer/BoxBuilder.h"
#include "writer/ByteWriter.h"
#include "writer/CraftedInputs.h"
#include "writer/EmbeddedFileWriter.h"
#include "writer/FileBytes.h"
#include "writer/FragmentedRecording.h"
#include "writer/FrameInfoRecordWriter.h"
#include "writer/IsoBoxes.h"
#include "writer/RecordingBuilder.h"
#include "writer/SampleEntries.h"

#endif
