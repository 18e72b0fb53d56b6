// stampwalk: lists the frames and timestamps of a camera recording.
#include <iostream>
#include <string>

#include <boost/program_options.hpp>

#include "app/Banner.h"
#include "app/ClosingLine.h"
#include "app/FallbackReport.h"
#include "app/MediaReaderRun.h"
#include "app/Options.h"

// The console colours of banner, title and closing line have no
// counterpart here: every line is written as plain text.
int main(int argc, char* argv[]) {
    const Stopwatch stopwatch;
    PrintBanner();
    std::cout << "NORVATE Stamp Probe"
              << "\n\n";

    boost::program_options::variables_map options;
    std::string pathname;
    int timeType = 0;
    ParsingOptions(argc, argv, options, pathname, timeType);

    // The fallback is tried once, and only when the media reader cannot open the file.
    if (ParseWithAVReader(pathname, timeType) < 0) ViewWhileRec(pathname, timeType);

    PrintClosingLine(std::cout, stopwatch.ElapsedSeconds());
    return 0;
}
