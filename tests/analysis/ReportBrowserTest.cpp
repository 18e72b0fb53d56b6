// The report page in a real browser: headless Chromium loads the page of a
// synthetic recording, once alone and once compared with a second one. Its
// DOM after loading shows every chart drawn and the page's script run to its
// end; its screenshot, decoded here, shows the charts in the recordings'
// colours. Skipped where /usr/bin/chromium is missing (scripts/setup.sh
// installs it).
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/ReportPage.h"
#include "support/ProgramRun.h"
#include "support/TempFile.h"

using namespace ZENT::SDK::Analysis;

namespace {

const char kChromium[] = "/usr/bin/chromium";
constexpr int64_t kEpochMs = 1700000000000;
constexpr uint64_t kFrames = 400;

// 25 frames per second with a gap of 200 ms before frame 100, a jump of 5 s
// before frame 250, a key frame every 25 frames that becomes one every 50 at
// frame 200, DI alerts over frames 50-79 and 300-329, and three motion levels.
// B's record time runs 250 ms further ahead of its stream time.
ReportSeries Recording(bool b) {
    ReportSeries series;
    for (uint64_t index = 0; index < kFrames; ++index) {
        const int64_t ms = static_cast<int64_t>(index) * 40 + (index >= 100 ? 200 : 0) + (index >= 250 ? 5000 : 0);
        FrameRecord frame;
        frame.track = 1;
        frame.index = index;
        frame.video = true;
        frame.codec = "H264";
        frame.decodeTime = ContainerTime{ms * 90, 90000};
        frame.streamTime = kEpochMs + ms;
        frame.recordTime = kEpochMs + ms + (b ? 550 : 300);
        frame.cameraTime = kEpochMs + ms - 40;
        frame.key = index % (index < 200 ? 25 : 50) == 0;
        frame.size = static_cast<uint32_t>(frame.key ? 30000 + index % 7 * 100 : 3000 + index * 37 % 1500);
        const bool alert = (index >= 50 && index < 80) || (index >= 300 && index < 330);
        frame.diAlert = alert ? 1 : 0;
        frame.motion = {static_cast<uint8_t>(index % 100 * 2), static_cast<uint8_t>(alert ? 200 : 20),
                        static_cast<uint8_t>(index / 40 % 2 == 1 ? 120 : 30)};
        series.AddFrame(frame);
    }
    return series;
}

ReportInput Input(bool compare) {
    ReportInput input;
    input.title = "camera <1> & \"yard\".mp4";
    input.a = Recording(false);
    input.tracks.push_back(TrackRecord{1, 8, "H264", true, kFrames, 21});
    TrackCheck check;
    check.track = 1;
    check.findings.push_back(Finding{"gap", 1, 100, 4.2, "step 0.240 s, interval 0.040000 s, 5 missing frames"});
    check.findings.push_back(Finding{"jump", 1, 250, 15.2, "time jumps forward 5.040 s"});
    input.checks.push_back(check);
    if (compare) {
        input.b = Recording(true);
        input.tracksB = input.tracks;
        input.marks.push_back(
            ReportMark{1, 150, std::nullopt, "offset", "record time 250 ms later", true, ReportChart::kOffsets});
    }
    return input;
}

size_t Occurrences(const std::string& text, const std::string& piece) {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}

// The pairs of a polyline's points, or 0 when one is not two numbers with a comma.
size_t PointPairs(const std::string& points) {
    std::istringstream pairs(points);
    size_t count = 0;
    for (std::string pair; pairs >> pair; ++count) {
        std::istringstream numbers(pair);
        double x = 0;
        double y = 0;
        char comma = 0;
        if (!(numbers >> x >> comma >> y) || comma != ',' || numbers.peek() != EOF) return 0;
    }
    return count;
}

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB, row by row
};

uint32_t BigEndian(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t next = 0; next < 4; ++next) value = value << 8 | static_cast<unsigned char>(bytes[at + next]);
    return value;
}

int Paeth(int left, int up, int upLeft) {
    const int estimate = left + up - upLeft;
    const int toLeft = std::abs(estimate - left);
    const int toUp = std::abs(estimate - up);
    const int toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) return left;
    return toUp <= toUpLeft ? up : upLeft;
}

// An 8-bit RGB or RGBA PNG without interlacing, as Chromium writes its screenshots.
std::optional<Image> DecodePng(const std::string& bytes) {
    if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") != 0) return std::nullopt;
    Image image;
    size_t channels = 0;
    std::string compressed;
    for (size_t at = 8; at + 12 <= bytes.size();) {
        const uint32_t length = BigEndian(bytes, at);
        const std::string type = bytes.substr(at + 4, 4);
        if (at + 12 + length > bytes.size()) return std::nullopt;
        if (type == "IHDR") {
            image.width = BigEndian(bytes, at + 8);
            image.height = BigEndian(bytes, at + 12);
            const auto depth = static_cast<unsigned char>(bytes[at + 16]);
            const auto colour = static_cast<unsigned char>(bytes[at + 17]);
            const auto interlace = static_cast<unsigned char>(bytes[at + 20]);
            if (depth != 8 || (colour != 2 && colour != 6) || interlace != 0) return std::nullopt;
            channels = colour == 2 ? 3 : 4;
        } else if (type == "IDAT") {
            compressed += bytes.substr(at + 8, length);
        }
        at += 12 + length;
    }
    if (channels == 0) return std::nullopt;
    const size_t stride = image.width * channels;
    std::vector<unsigned char> raw(image.height * (stride + 1));
    uLongf rawSize = raw.size();
    if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(compressed.data()), compressed.size()) !=
            Z_OK ||
        rawSize != raw.size()) {
        return std::nullopt;
    }
    std::vector<unsigned char> previous(stride, 0);
    std::vector<unsigned char> row(stride);
    for (uint32_t y = 0; y < image.height; ++y) {
        const unsigned char filter = raw[y * (stride + 1)];
        const unsigned char* line = &raw[y * (stride + 1) + 1];
        for (size_t x = 0; x < stride; ++x) {
            const int left = x >= channels ? row[x - channels] : 0;
            const int up = previous[x];
            const int upLeft = x >= channels ? previous[x - channels] : 0;
            int predicted = 0;
            switch (filter) {
                case 0: break;
                case 1: predicted = left; break;
                case 2: predicted = up; break;
                case 3: predicted = (left + up) / 2; break;
                case 4: predicted = Paeth(left, up, upLeft); break;
                default: return std::nullopt;
            }
            row[x] = static_cast<unsigned char>(line[x] + predicted);
        }
        for (size_t x = 0; x < image.width; ++x) {
            const unsigned char* pixel = &row[x * channels];
            image.pixels.push_back(uint32_t{pixel[0]} << 16 | uint32_t{pixel[1]} << 8 | pixel[2]);
        }
        previous.swap(row);
    }
    return image;
}

// Pixels within a small distance of a colour: the lines are drawn smoothed.
size_t Near(const Image& image, uint32_t colour) {
    size_t count = 0;
    for (const uint32_t pixel : image.pixels) {
        bool near = true;
        for (const int shift : {16, 8, 0}) {
            near = near &&
                   std::abs(static_cast<int>(pixel >> shift & 0xFF) - static_cast<int>(colour >> shift & 0xFF)) <= 24;
        }
        count += near;
    }
    return count;
}

class Browser {
public:
    Browser() : profile_(testsupport::TempDirectory() + "/stampwalk-chromium-XXXXXX") {
        if (mkdtemp(profile_.data()) == nullptr) profile_.clear();
    }
    ~Browser() {
        std::error_code ignored;
        if (!profile_.empty()) std::filesystem::remove_all(profile_, ignored);
    }

    testsupport::ProgramRun Run(const std::string& page, const std::vector<std::string>& actions) const {
        std::vector<std::string> arguments = {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                              "--user-data-dir=" + profile_};
        arguments.insert(arguments.end(), actions.begin(), actions.end());
        arguments.push_back("file://" + page);
        testsupport::RunOptions options;
        options.timeLimitSeconds = 60;
        return testsupport::RunProgram(kChromium, arguments, options);
    }

private:
    std::string profile_;
};

struct BrowserRow {
    const char* name;
    bool compare;
    // Per recording 7 lines (interval, size, two offsets, three motion levels),
    // each cut in three by the 240 ms before frame 100 and the 5 s before frame
    // 250: both longer than four usual intervals (160 ms) without a frame.
    size_t polylines;
    size_t marks;  // two findings, and with B one difference
};

// A screenshot of the page, decoded: a white background, a fair share of
// drawn pixels, and the lines of A (and of B) in their colours.
void ExpectDrawnScreenshot(const Browser& browser, const std::string& page, bool compare) {
    testsupport::TempFile screenshot(".png");
    const testsupport::ProgramRun shot =
        browser.Run(page, {"--screenshot=" + screenshot.path(), "--window-size=1200,2000"});
    ASSERT_EQ(shot.exitCode, 0) << shot.errors;
    std::ifstream file(screenshot.path(), std::ios::binary);
    const std::optional<Image> image = DecodePng({std::istreambuf_iterator<char>(file), {}});
    ASSERT_TRUE(image) << "not an 8-bit RGB(A) PNG";
    ASSERT_EQ(image->width, 1200u);
    ASSERT_EQ(image->height, 2000u);
    std::map<uint32_t, size_t> colours;
    for (const uint32_t pixel : image->pixels) ++colours[pixel];
    // The page's background is white (its style sheet); the charts draw on
    // it in grey, red and the recordings' colours.
    const auto background = std::max_element(
        colours.begin(), colours.end(), [](const auto& left, const auto& right) { return left.second < right.second; });
    EXPECT_EQ(background->first, 0xFFFFFFu);
    EXPECT_GE(colours.size(), 2u);
    const double drawn = 1 - static_cast<double>(background->second) / static_cast<double>(image->pixels.size());
    // Four charts of about 1000 x 150 pixels with grids and lines cover
    // more than 2 % of the window; a page of text alone does not.
    EXPECT_GE(drawn, 0.02);
    // A line across a chart is a thousand pixels and more of its colour (the
    // style sheet's .a and .b), even where B's lines hide A's.
    EXPECT_GE(Near(*image, 0x1F5FBF), 300u) << "A's lines";
    if (compare) {
        EXPECT_GE(Near(*image, 0xE07000), 300u) << "B's lines";
    }
}

TEST(ReportBrowser, DrawsEveryChart) {
    if (access(kChromium, X_OK) != 0) GTEST_SKIP() << kChromium << " is not installed (scripts/setup.sh installs it)";
    const BrowserRow rows[] = {
        {"alone", false, 21, 2},
        {"compared", true, 42, 3},
    };
    for (const BrowserRow& row : rows) {
        SCOPED_TRACE(row.name);
        testsupport::TempFile page(".html");
        {
            std::ofstream out(page.path(), std::ios::binary);
            WriteReportPage(out, Input(row.compare));
        }
        const Browser browser;

        const testsupport::ProgramRun dom = browser.Run(page.path(), {"--dump-dom"});
        ASSERT_EQ(dom.exitCode, 0) << dom.errors;
        const std::string& html = dom.output;
        EXPECT_NE(html.find("<body data-ready=\"1\">"), std::string::npos) << "the page's script did not finish";
        EXPECT_EQ(Occurrences(html, "<svg class=\"chart\""), 4u);  // four charts of the one track
        EXPECT_EQ(Occurrences(html, "<polyline"), row.polylines);
        for (size_t at = html.find("points=\""); at != std::string::npos; at = html.find("points=\"", at + 1)) {
            const std::string points = html.substr(at + 8, html.find('"', at + 8) - at - 8);
            EXPECT_GE(PointPairs(points), 2u) << "not a line of two points or more: " << points.substr(0, 80);
        }
        for (size_t mark = 0; mark < row.marks; ++mark) {
            const std::string id = "finding-" + std::to_string(mark);
            EXPECT_EQ(Occurrences(html, "id=\"" + id + "\""), 1u) << id;
            EXPECT_EQ(Occurrences(html, "href=\"#" + id + "\""), 1u) << id;
        }

        ExpectDrawnScreenshot(browser, page.path(), row.compare);
    }
}

// The tool's own report of an ffmpeg recording of the data directory with
// one frame dropped (check_dropped.mp4: a gap at frame 40, its only finding):
// two tracks of four charts, the finding marked and linked.
TEST(ReportBrowser, DrawsTheToolsReportOfARecording) {
    if (access(kChromium, X_OK) != 0) GTEST_SKIP() << kChromium << " is not installed (scripts/setup.sh installs it)";
    testsupport::TempFile page(".html");
    const testsupport::ProgramRun tool = testsupport::RunProgram(
        STAMPWALK_BINARY,
        {"-p", std::string(STAMPWALK_DATA_DIR) + "/check_dropped.mp4", "-t", "1", "--report", page.path()});
    ASSERT_EQ(tool.exitCode, 0) << tool.errors;
    const Browser browser;
    const testsupport::ProgramRun dom = browser.Run(page.path(), {"--dump-dom"});
    ASSERT_EQ(dom.exitCode, 0) << dom.errors;
    EXPECT_NE(dom.output.find("<body data-ready=\"1\">"), std::string::npos) << "the page's script did not finish";
    EXPECT_EQ(Occurrences(dom.output, "<svg class=\"chart\""), 8u);
    EXPECT_EQ(Occurrences(dom.output, "id=\"finding-0\""), 1u);
    EXPECT_EQ(Occurrences(dom.output, "href=\"#finding-0\""), 1u);
    EXPECT_EQ(Occurrences(dom.output, "id=\"finding-1\""), 0u);
    ExpectDrawnScreenshot(browser, page.path(), false);
}

}  // namespace
