#include "app/ReportFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

namespace Analysis = ZENT::SDK::Analysis;

void WriteReportFile(const RunOptions& options, const Analysis::ReportInput& input) {
    std::ofstream file(*options.reportPath, std::ios::binary | std::ios::trunc);
    if (file) {
        Analysis::WriteReportPage(file, input);
        file.close();
    }
    if (!file) {
        std::cerr << "stampwalk: the report " << *options.reportPath
                  << " could not be written: " << std::strerror(errno) << '\n';
    }
}

void WriteReportFile(const RunOptions& options, Analysis::ReportSeries series,
                     const std::vector<Analysis::TrackRecord>& tracks,
                     const std::vector<Analysis::TrackCheck>& checks) {
    Analysis::ReportInput input;
    input.title = options.pathname;
    input.a = std::move(series);
    input.nameA = options.pathname;
    input.tracks = tracks;
    input.checks = checks;
    WriteReportFile(options, input);
}
