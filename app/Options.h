// The command line: -p/--pathname, -t/--timetype, -h/--help.
#ifndef STAMPWALK_APP_OPTIONS_H
#define STAMPWALK_APP_OPTIONS_H

#include <functional>
#include <ostream>
#include <string>

#include <boost/program_options.hpp>

// Fills pathname and time type and echoes both, or ends the process: after
// the usage text with exit code 0 (help asked for, or a value missing), after
// an error message with exit code -1.
void ParsingOptions(int argc, char* argv[], boost::program_options::variables_map& options, std::string& pathname,
                    int& timeType);

// The usage text: the option table, the usage line, two examples and the list of time types.
void PrintUsage(const boost::program_options::options_description& description, std::ostream& out);

// Runs the parsing steps under the option error handlers. Returns false when
// a handler ran (its message, and for library errors the option table, are
// printed); the caller then ends the process with -1.
bool RunWithOptionErrorHandlers(const std::function<void()>& steps,
                                const boost::program_options::options_description& description, std::ostream& out);

#endif
