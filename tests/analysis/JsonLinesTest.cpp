#include "analysis/JsonLines.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "SampleFrames.h"

using namespace ZENT::SDK::Analysis;

namespace {

TEST(JsonLines, ObjectsOfEveryKind) {
    std::ostringstream out;
    JsonLinesWriter writer(out);
    writer.WriteFrame(testsupport::BareFrame());
    writer.WriteFrame(testsupport::FullFrame());
    writer.WriteTrack(TrackRecord{1, 8, "H264", true, 100, 4});
    writer.WriteFinding(Finding{"gap", 1, 42, 1.234, "2 \"frames\" missing"});
    writer.WriteFinding(Finding{"order", 2, 0, std::nullopt, ""});
    writer.WriteResult(RunResult{RunStatus::kInProgress, false, 138000, 2, 0, std::nullopt});
    writer.WriteResult(RunResult{RunStatus::kFindings, false, 0, 0, 7, std::nullopt});
    EXPECT_EQ(
        out.str(),
        R"({"type":"frame","track":1,"index":0,"codec":"H264","frameType":"P","codedType":null,"key":false,)"
        R"("decodeTime":null,"presentationTime":null,"duration":null,"recordTime":null,"streamTime":null,)"
        R"("cameraTime":null,"size":0,"crc32":"00000000","payloadCrc32":"00000000","diAlert":0,"motion":[0,0,0],)"
        R"("integrity":null})"
        "\n"
        R"({"type":"frame","track":2,"index":41,"codec":"H265","frameType":"I","codedType":"I","key":true,)"
        R"("decodeTime":0.03337,"presentationTime":0.03337,"duration":0.0009765625,"recordTime":1700000000.123,)"
        R"("streamTime":-0.001,"cameraTime":0.000,"size":4294967295,"crc32":"0A1B2C3D","payloadCrc32":"DEADBEEF",)"
        R"("diAlert":3,"motion":[1,128,255],"integrity":"mismatch"})"
        "\n"
        R"({"type":"track","track":1,"codec":"H264","codecType":8,"video":true,"sampleCount":100,"duration":4})"
        "\n"
        R"({"type":"finding","check":"gap","track":1,"index":42,"time":1.234,"message":"2 \"frames\" missing"})"
        "\n"
        R"({"type":"finding","check":"order","track":2,"index":0,"time":null,"message":""})"
        "\n"
        R"({"type":"result","status":"in-progress","checked":false,"frames":138000,"tracks":2,"findings":0})"
        "\n"
        R"({"type":"result","status":"findings","checked":false,"frames":0,"tracks":0,"findings":7})"
        "\n");
}

struct EscapeRow {
    std::string text;
    std::string json;
};

class JsonString : public testing::TestWithParam<EscapeRow> {};

TEST_P(JsonString, Escapes) {
    std::string line;
    AppendJsonString(line, GetParam().text);
    EXPECT_EQ(line, GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, JsonString,
    testing::Values(EscapeRow{"????", R"("????")"}, EscapeRow{"a\"b\\c/", R"("a\"b\\c/")"},
                    EscapeRow{std::string("\0\x01\n\x1F\x7F", 5), R"("\u0000\u0001\u000A\u001F)"
                                                                  "\x7F\""},
                    EscapeRow{"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xA5", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xA5\""},
                    EscapeRow{"\xE9H", R"("\u00E9H")"},                                          // a lone Latin-1 byte
                    EscapeRow{"\xE2\x82", R"("\u00E2\u0082")"},                                  // cut short
                    EscapeRow{"\xC0\xAF\xED\xA0\x80", R"("\u00C0\u00AF\u00ED\u00A0\u0080")"},    // overlong, surrogate
                    EscapeRow{"\xF4\x90\x80\x80\xBF", R"("\u00F4\u0090\u0080\u0080\u00BF")"}));  // above U+10FFFF

// A strict reader of one JSON text, enough to prove each line is one object:
// the top-level members come back with strings decoded and other values as
// written.
class StrictJson {
public:
    using Members = std::vector<std::pair<std::string, std::string>>;

    static std::optional<Members> ParseObjectLine(std::string_view text) {
        StrictJson parser(text);
        Members members;
        if (!parser.Object(&members) || parser.at_ != text.size()) return std::nullopt;
        return members;
    }

private:
    explicit StrictJson(std::string_view text) : text_(text) {}

    bool Eat(char expected) {
        if (at_ >= text_.size() || text_[at_] != expected) return false;
        ++at_;
        return true;
    }
    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    bool Digits() {
        const size_t start = at_;
        while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
        return at_ > start;
    }
    bool Number() {
        Eat('-');
        if (!Eat('0') && (at_ >= text_.size() || text_[at_] < '1' || text_[at_] > '9' || !Digits())) return false;
        if (Eat('.') && !Digits()) return false;
        if ((Eat('e') || Eat('E')) && (Eat('+') || Eat('-') || true) && !Digits()) return false;
        return true;
    }
    // Well-formed UTF-8 of one code point at at_, the lead byte above 0x7F.
    bool Utf8(std::string* out) {
        const auto lead = static_cast<unsigned char>(text_[at_]);
        const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || lead > 0xF4 || at_ + length > text_.size()) return false;
        uint32_t point = lead & (0x7Fu >> length);
        for (size_t next = 1; next < length; ++next) {
            const auto byte = static_cast<unsigned char>(text_[at_ + next]);
            if ((byte & 0xC0) != 0x80) return false;
            point = point << 6 | (byte & 0x3Fu);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
        out->append(text_.substr(at_, length));
        at_ += length;
        return true;
    }
    bool String(std::string* out) {
        if (!Eat('"')) return false;
        while (at_ < text_.size()) {
            const auto byte = static_cast<unsigned char>(text_[at_]);
            if (byte == '"') return ++at_, true;
            if (byte < 0x20) return false;
            if (byte >= 0x80) {
                if (!Utf8(out)) return false;
                continue;
            }
            ++at_;
            if (byte != '\\') {
                out->push_back(static_cast<char>(byte));
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char escape = text_[at_++];
            const std::string_view simple = "\"\"\\\\//b\bf\fn\nr\rt\t";
            const size_t found = simple.find(escape);
            if (found != std::string_view::npos && found % 2 == 0) {
                out->push_back(simple[found + 1]);
            } else if (escape == 'u' && at_ + 4 <= text_.size()) {
                // Only the \u00XX escapes the writer gives are decoded, as bytes.
                const std::string hex(text_.substr(at_, 4));
                if (hex.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) return false;
                out->push_back(static_cast<char>(std::stoul(hex, nullptr, 16)));
                at_ += 4;
            } else {
                return false;
            }
        }
        return false;
    }
    bool Value(std::string* out) {
        const size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '"') return String(out);
        const bool valid = (at_ < text_.size() && text_[at_] == '{') ? Object(nullptr)
                           : (at_ < text_.size() && text_[at_] == '[')
                               ? Array()
                               : Word("true") || Word("false") || Word("null") || Number();
        if (valid) out->assign(text_.substr(start, at_ - start));
        return valid;
    }
    bool Array() {
        if (!Eat('[')) return false;
        if (Eat(']')) return true;
        std::string ignored;
        do {
            if (!Value(&ignored)) return false;
        } while (Eat(','));
        return Eat(']');
    }
    bool Object(Members* members) {
        if (!Eat('{')) return false;
        if (Eat('}')) return true;
        do {
            std::string key, value;
            if (!String(&key) || !Eat(':') || !Value(&value)) return false;
            if (members != nullptr) members->emplace_back(std::move(key), std::move(value));
        } while (Eat(','));
        return Eat('}');
    }

    std::string_view text_;
    size_t at_ = 0;
};

TEST(StrictJson, RefusesWhatIsNotJson) {
    for (const char* text : {R"({"a":01})", "{\"a\":\"\x01\"}", R"({"a":1,})", R"({"a":1} )", R"({"a":"\u00G0"})",
                             "{\"a\":\"\xE9\"}", R"({"a":.5})", R"({"a":1.})", R"({"a":tru})", R"([1])", R"({a:1})"}) {
        EXPECT_FALSE(StrictJson::ParseObjectLine(text)) << text;
    }
    EXPECT_TRUE(StrictJson::ParseObjectLine(R"({"a":[-0.5e+3,{"b":null}],"c":"\n\u00e9"})"));
}

std::string Member(const StrictJson::Members& members, const std::string& key) {
    for (const auto& [name, value] : members) {
        if (name == key) return value;
    }
    ADD_FAILURE() << "no member " << key;
    return {};
}

// Every line is one JSON object, and the CRCs and camera times read back as
// the values written.
TEST(JsonLines, EveryLineIsOneObjectThatReadsBack) {
    std::ostringstream out;
    JsonLinesWriter writer(out);
    std::vector<FrameRecord> frames;
    uint64_t state = 99;
    for (int step = 0; step < 200; ++step) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        FrameRecord frame = step % 2 == 0 ? testsupport::FullFrame() : testsupport::BareFrame();
        frame.crc32 = static_cast<uint32_t>(state >> 32);
        frame.cameraTime = static_cast<int64_t>(state >> 20) - (int64_t{1} << 43);
        frame.codec = std::string(1, static_cast<char>(state >> 8)) + "\x7F\xFF\"";
        frames.push_back(frame);
        writer.WriteFrame(frame);
    }
    writer.WriteTrack(TrackRecord{1, 8, "\xC3(\n", true, 100, 4});
    writer.WriteFinding(Finding{"gap", 1, 42, -1e-9, "\t\\"});
    writer.WriteResult(RunResult{RunStatus::kOk, true, 200, 1, 1, std::nullopt});

    std::istringstream lines(out.str());
    std::string line;
    size_t count = 0;
    while (std::getline(lines, line)) {
        const auto members = StrictJson::ParseObjectLine(line);
        ASSERT_TRUE(members) << line;
        if (count < frames.size()) {
            const FrameRecord& frame = frames[count];
            EXPECT_EQ(members->size(), 19u);
            const std::string crc = Member(*members, "crc32");
            EXPECT_EQ(crc.size(), 8u);
            EXPECT_EQ(std::stoul(crc, nullptr, 16), frame.crc32) << line;
            const std::string camera = Member(*members, "cameraTime");
            const size_t point = camera.find('.');
            ASSERT_EQ(point + 4, camera.size()) << line;
            const int64_t milliseconds = std::stoll(camera.substr(0, point) + camera.substr(point + 1));
            EXPECT_EQ(milliseconds, *frame.cameraTime) << line;
            EXPECT_EQ(Member(*members, "codec").substr(1), "\x7F\xFF\"");  // the stray 0xFF as \u00FF
        }
        ++count;
    }
    EXPECT_EQ(count, frames.size() + 3);
}

}  // namespace
