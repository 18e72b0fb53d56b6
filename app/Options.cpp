#include "app/Options.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include <boost/lexical_cast.hpp>

namespace po = boost::program_options;

void PrintUsage(const po::options_description& description, std::ostream& out) {
    out << description << "\n\n";
    out << "usage:\n   Stampwalk.exe -p MEDIA_FILE_PATHNAME -t TIME_TYPE"
        << "\n\n";
    out << "example 1:\n   Stampwalk.exe -p \"C:\\RecordS.3gp\" -t 1"
        << "\n\n";
    out << "example 2:\n   Stampwalk.exe -p \"C:\\RecordS.3gp\" -t 2 > StreamTime.log"
        << "\n\n";
    out << "PS:\n   Time type: RecordTime = 1, StreamTime = 2, CameraTime = 3"
        << "\n\n";
}

// The order matters: the library's syntax error is also a std::exception.
bool RunWithOptionErrorHandlers(const std::function<void()>& steps, const po::options_description& description,
                                std::ostream& out) {
    try {
        steps();
        return true;
    } catch (const po::invalid_command_line_syntax& error) {
        out << "Invalid parameters got exception: " << error.what() << '\n' << description << '\n';
    } catch (const boost::bad_lexical_cast& error) {
        out << "Invalid parameters got bad_lexical_cast: " << error.what() << '\n' << description << '\n';
    } catch (const std::runtime_error& error) {
        out << "Invalid parameters got std::runtime_error: " << error.what() << '\n' << description << '\n';
    } catch (const std::exception& error) {
        out << "Invalid parameters got std::exception: " << error.what() << '\n' << description << '\n';
    } catch (...) {
        out << "Parsing parameter failed." << '\n';
    }
    return false;
}

void ParsingOptions(int argc, char* argv[], po::variables_map& options, std::string& pathname, int& timeType) {
    // Built outside the guarded steps so that every handler can print it.
    po::options_description description("converter command line");
    // clang-format off
    description.add_options()
        ("help,h", "help message")
        ("pathname,p", po::value<std::string>(), "media file pathname")
        ("timetype,t", po::value<int>(), "time type");
    // clang-format on

    const bool parsed = RunWithOptionErrorHandlers(
        [&] {
            // Unknown options and bare words are tolerated so that wrappers may pass extra arguments.
            po::store(po::command_line_parser(argc, argv).options(description).allow_unregistered().run(), options);
            po::notify(options);

            if (options.count("help") || !options.count("pathname") || !options.count("timetype")) {
                PrintUsage(description, std::cout);
                std::exit(0);
            }
            pathname = options["pathname"].as<std::string>();
            std::cout << "ParsingOptions - processing media file pathname: " << pathname << '\n';
            timeType = options["timetype"].as<int>();
            std::cout << "ParsingOptions - parse time type: " << timeType << '\n';
        },
        description, std::cout);
    if (!parsed) std::exit(-1);
}
