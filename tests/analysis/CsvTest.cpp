#include "analysis/Csv.h"

#include <gtest/gtest.h>

#include <sstream>

#include "SampleFrames.h"

using namespace ZENT::SDK::Analysis;

namespace {

const char kHeader[] =
    "type,track,index,codec,frameType,codedType,key,decodeTime,presentationTime,duration,recordTime,streamTime,"
    "cameraTime,size,crc32,payloadCrc32,diAlert,motion1,motion2,motion3,integrity\r\n";

TEST(Csv, HeaderAndRows) {
    std::ostringstream out;
    CsvWriter writer(out);
    EXPECT_EQ(out.str(), kHeader);  // even before the first frame
    writer.WriteFrame(testsupport::BareFrame());
    writer.WriteFrame(testsupport::FullFrame());
    EXPECT_EQ(out.str(), std::string(kHeader) +
                             "frame,1,0,H264,P,,false,,,,,,,0,00000000,00000000,0,0,0,0,\r\n"
                             "frame,2,41,H265,I,I,true,0.03337,0.03337,0.0009765625,1700000000.123,-0.001,0.000,"
                             "4294967295,0A1B2C3D,DEADBEEF,3,1,128,255,mismatch\r\n");
}

struct QuotingRow {
    std::string codec;
    char frameType;
    std::string fields;  // the codec and frame type fields as written
};

class CsvQuoting : public testing::TestWithParam<QuotingRow> {};

TEST_P(CsvQuoting, Rfc4180) {
    std::ostringstream out;
    CsvWriter writer(out);
    FrameRecord frame = testsupport::BareFrame();
    frame.codec = GetParam().codec;
    frame.frameType = GetParam().frameType;
    writer.WriteFrame(frame);
    EXPECT_EQ(out.str().substr(sizeof kHeader - 1),
              "frame,1,0," + GetParam().fields + ",,false,,,,,,,0,00000000,00000000,0,0,0,0,\r\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, CsvQuoting,
                         testing::Values(QuotingRow{"????", '?', "????,?"}, QuotingRow{"A,B", 'P', "\"A,B\",P"},
                                         QuotingRow{"say \"hi\"", '"', "\"say \"\"hi\"\"\",\"\"\"\""},
                                         QuotingRow{"a\nb", ',', "\"a\nb\",\",\""},
                                         QuotingRow{"a\rb", 'I', "\"a\rb\",I"}, QuotingRow{" x\xE9 ", 'B', " x\xE9 ,B"},
                                         QuotingRow{"", 'P', ",P"}));

}  // namespace
