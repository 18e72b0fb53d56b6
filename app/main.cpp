// stampwalk: lists the frames and timestamps of a camera recording.
#include <iostream>
#include <sstream>
#include <string>

#include <boost/program_options.hpp>

#include "app/Banner.h"
#include "app/ClosingLine.h"
#include "app/CompareRun.h"
#include "app/FallbackReport.h"
#include "app/MediaReaderRun.h"
#include "app/Options.h"
#include "app/RunReport.h"

// The console colours of banner, title and closing line have no
// counterpart here: every line is written as plain text.
int main(int argc, char* argv[]) {
    const Stopwatch stopwatch;

    // The command line is read before anything is printed: JSON Lines and CSV
    // go to standard output alone, without banner, echo or closing line.
    boost::program_options::variables_map options;
    RunOptions run;
    std::ostringstream parsing;
    const ParseOutcome outcome = ParsingOptions(argc, argv, options, run, parsing);
    if (!run.Text()) {
        if (outcome != ParseOutcome::kRun) {
            std::cerr << parsing.str();
            return outcome == ParseOutcome::kUsage ? 0 : -1;
        }
    } else {
        PrintBanner();
        std::cout << "NORVATE Stamp Probe"
                  << "\n\n"
                  << parsing.str();
        if (outcome == ParseOutcome::kUsage) return 0;
        if (outcome == ParseOutcome::kError) return -1;
    }

    if (run.compareWith) {
        const int exitCode = RunComparison(run, std::cout);
        if (run.Text()) PrintClosingLine(std::cout, stopwatch.ElapsedSeconds());
        return exitCode;
    }

    RunReport report(run, std::cout);
    // The fallback is tried once, and only when the media reader cannot open the file.
    if (ParseWithAVReader(run, report) < 0) ViewWhileRec(run, report);
    if (run.Collects()) report.Finish();

    if (run.Text()) PrintClosingLine(std::cout, stopwatch.ElapsedSeconds());
    return report.ExitCode();
}
