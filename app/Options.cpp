#include "app/Options.h"

#include <fstream>
#include <stdexcept>
#include <vector>

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

void PrintCheckerUsage(const po::options_description& checker, std::ostream& out) {
    out << checker << "\n";
    out << "exit codes with --check:\n   0 no finding, 1 findings, 2 not readable as a recording, 255 command-line "
           "error\n\n";
    out << "exit codes with --compare:\n   0 nothing differs, 1 differences, 2 either file not readable as a "
           "recording\n\n";
}

namespace {

// The format asked for, read before the library parses the line, so that an
// error it finds goes where a machine-readable run sends its messages. Only
// "--format" begins with f, so "--f" and every longer prefix of it name it.
OutputFormat PeekFormat(int argc, char* argv[]) {
    OutputFormat format = OutputFormat::kText;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        std::string value;
        const size_t equals = word.find('=');
        if (equals != std::string::npos) {
            value = word.substr(equals + 1);
            word.resize(equals);
        } else if (i + 1 < argc) {
            value = argv[i + 1];
        }
        if (word.size() < 3 || std::string("--format").compare(0, word.size(), word) != 0) continue;
        if (value == "json") format = OutputFormat::kJson;
        if (value == "csv") format = OutputFormat::kCsv;
    }
    return format;
}

void ReadCheckerOptions(const po::variables_map& options, RunOptions& run) {
    if (options.count("format")) {
        const std::string& format = options["format"].as<std::string>();
        if (format == "json") {
            run.format = OutputFormat::kJson;
        } else if (format == "csv") {
            run.format = OutputFormat::kCsv;
        } else if (format != "text") {
            throw std::runtime_error("--format takes text, json or csv, not '" + format + "'");
        }
    }
    run.check = options.count("check") > 0;
    if (options.count("gap-tolerance")) {
        run.tolerances.gapTolerance = options["gap-tolerance"].as<double>();
        if (!(run.tolerances.gapTolerance > 1.0)) throw std::runtime_error("--gap-tolerance must be above 1");
    }
    if (options.count("jump-seconds")) {
        run.tolerances.jumpSeconds = options["jump-seconds"].as<double>();
        if (!(run.tolerances.jumpSeconds > 0.0)) throw std::runtime_error("--jump-seconds must be above 0");
    }
    if (options.count("clock-tolerance")) {
        run.tolerances.clockToleranceMs = options["clock-tolerance"].as<int64_t>();
        if (run.tolerances.clockToleranceMs < 0) throw std::runtime_error("--clock-tolerance must not be negative");
    }
    if (options.count("key")) {
        for (const std::string& text : options["key"].as<std::vector<std::string>>()) {
            const std::optional<TrackKey> key = ParseTrackKey(text);
            if (!key)
                throw std::runtime_error("--key takes 32 hexadecimal digits, or KID:KEY of 32 each: '" + text + "'");
            run.keys.push_back(*key);
        }
    }
    if (options.count("integrity-key")) run.integrityKey = options["integrity-key"].as<std::string>();
    if (options.count("compare")) {
        run.compareWith = options["compare"].as<std::string>();
        if (run.format == OutputFormat::kCsv) throw std::runtime_error("--compare writes text or json, not csv");
    }
    if (options.count("report")) {
        run.reportPath = options["report"].as<std::string>();
        // Found out now, before the run: a report that cannot be written is a command-line error.
        std::ofstream probe(*run.reportPath, std::ios::app);
        if (!probe) throw std::runtime_error("--report cannot write '" + *run.reportPath + "'");
    }
}

}  // namespace

ParseOutcome ParsingOptions(int argc, char* argv[], po::variables_map& options, RunOptions& run, std::ostream& out) {
    // Built outside the guarded steps so that every handler can print it.
    po::options_description description("converter command line");
    // clang-format off
    description.add_options()
        ("help,h", "help message")
        ("pathname,p", po::value<std::string>(), "media file pathname")
        ("timetype,t", po::value<int>(), "time type");
    // No long name may begin with p, t or h: every abbreviation of the three
    // above must stay unambiguous.
    po::options_description checker("checker options");
    checker.add_options()
        ("check", "check the frames and times; findings after the summary")
        ("format", po::value<std::string>(), "text (default), json (JSON Lines) or csv (frames)")
        ("gap-tolerance", po::value<double>(), "a step above this many usual intervals is a gap (1.5)")
        ("jump-seconds", po::value<double>(), "a step above this many seconds is a jump (1)")
        ("clock-tolerance", po::value<int64_t>(), "milliseconds record minus stream time may drift (1000)")
        ("key", po::value<std::vector<std::string>>()->composing(), "AES-128 key HEX, or KID:HEX; repeatable")
        ("integrity-key", po::value<std::string>(), "run the integrity test with this key")
        ("compare", po::value<std::string>(), "compare with this second recording, frame by frame")
        ("report", po::value<std::string>(), "write a self-contained HTML report of the run to this file");
    // clang-format on
    po::options_description all;
    all.add(description).add(checker);

    ParseOutcome outcome = ParseOutcome::kRun;
    run.format = PeekFormat(argc, argv);
    const bool parsed = RunWithOptionErrorHandlers(
        [&] {
            // Unknown options and bare words are tolerated so that wrappers may pass extra arguments.
            po::store(po::command_line_parser(argc, argv).options(all).allow_unregistered().run(), options);
            po::notify(options);
            ReadCheckerOptions(options, run);

            if (options.count("help") || !options.count("pathname") || !options.count("timetype")) {
                PrintUsage(description, out);
                // The usage text stays as it always was; asked for together
                // with a checker option, help lists the checker's options too.
                for (const auto& option : checker.options()) {
                    if (options.count(option->long_name()) == 0) continue;
                    PrintCheckerUsage(checker, out);
                    break;
                }
                outcome = ParseOutcome::kUsage;
                return;
            }
            run.pathname = options["pathname"].as<std::string>();
            out << "ParsingOptions - processing media file pathname: " << run.pathname << '\n';
            run.timeType = options["timetype"].as<int>();
            out << "ParsingOptions - parse time type: " << run.timeType << '\n';
            if (run.compareWith) out << "ParsingOptions - compare with: " << *run.compareWith << '\n';
        },
        description, out);
    return parsed ? outcome : ParseOutcome::kError;
}
