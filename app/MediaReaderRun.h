// The run over the ISO media reader: open, frame loop, summary.
#ifndef STAMPWALK_APP_MEDIAREADERRUN_H
#define STAMPWALK_APP_MEDIAREADERRUN_H

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "app/RunOptions.h"
#include "app/RunSink.h"
#include "isom/AVReader.h"

// The reader of the file, or an empty pointer when it cannot be opened (a
// negative open status is printed when text is set). The pointer releases
// the reader.
boost::shared_ptr<AVReader> OpenAVReader(const std::string& pathname, bool text = true);

// 0 when the media reader opened the file and the frames and the summary
// were printed; -1 when it cannot open the file, after a message that is
// left without a line end for the fallback run to continue. The frames go to
// the report too when the options collect them; keys and the integrity key
// are handed to the reader first.
int32_t ParseWithAVReader(const RunOptions& options, RunSink& report);

#endif
