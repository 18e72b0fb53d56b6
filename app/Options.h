// The command line: -p/--pathname, -t/--timetype, -h/--help.
#ifndef STAMPWALK_APP_OPTIONS_H
#define STAMPWALK_APP_OPTIONS_H

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include <boost/program_options.hpp>

#include "app/RunOptions.h"

enum class ParseOutcome : uint8_t {
    kRun,    // the options are filled and echoed
    kUsage,  // the usage text was printed: help asked for, or a value missing (exit code 0)
    kError,  // an error message was printed (exit code -1)
};

// Fills the run's options and echoes pathname and time type to out. The
// format is set as soon as it is read, so that the caller knows where a later
// error belongs.
ParseOutcome ParsingOptions(int argc, char* argv[], boost::program_options::variables_map& options, RunOptions& run,
                            std::ostream& out);

// The usage text: the option table, the usage line, two examples and the list of time types.
void PrintUsage(const boost::program_options::options_description& description, std::ostream& out);

// The checker's options, listed after the usage text.
void PrintCheckerUsage(const boost::program_options::options_description& checker, std::ostream& out);

// Runs the parsing steps under the option error handlers. Returns false when
// a handler ran (its message, and for library errors the option table, are
// printed); the caller then ends the process with -1.
bool RunWithOptionErrorHandlers(const std::function<void()>& steps,
                                const boost::program_options::options_description& description, std::ostream& out);

#endif
