#include "app/MediaSummary.h"

#include <gtest/gtest.h>

#include <sstream>

#include "FakeAVReader.h"

namespace {

std::string Summary(FakeAVReader& reader) {
    std::ostringstream out;
    PrintMediaSummary(reader, out);
    return out.str();
}

}  // namespace

TEST(MediaSummary, MediaTypeTexts) {
    EXPECT_STREQ(MediaTypeText(1), "audio only");
    EXPECT_STREQ(MediaTypeText(2), "video only");
    EXPECT_STREQ(MediaTypeText(3), "A/V");
    for (uint32_t mediaType : {0u, 4u, 8u, 9u, 10u, 11u, 0xFFFFFFFFu})
        EXPECT_STREQ(MediaTypeText(mediaType), "N/A") << "media type " << mediaType;
}

TEST(MediaSummary, OneVideoTrack) {
    FakeAVReader reader;
    reader.mediaType = 2;
    reader.tracks = {{0x8, 250, 10}};
    EXPECT_EQ(Summary(reader),
              "Mediatype: video only, total 1 track(s)\n"
              "Track: 1\n"
              " stream type: 0x00000008\n"
              " sample count: 250\n"
              " duration: 10 sec\n"
              "\n");
}

TEST(MediaSummary, BlocksAreNumberedFromOneAndSeparatedByAnEmptyLine) {
    FakeAVReader reader;
    reader.mediaType = 11;
    reader.tracks = {{0x8, 250, 10}, {0x400, 0xFFFFFFFFu, 0}, {0xABCDEF12u, 0, 4000000000u}};
    EXPECT_EQ(Summary(reader),
              "Mediatype: N/A, total 3 track(s)\n"
              "Track: 1\n stream type: 0x00000008\n sample count: 250\n duration: 10 sec\n\n"
              "Track: 2\n stream type: 0x00000400\n sample count: 4294967295\n duration: 0 sec\n\n"
              "Track: 3\n stream type: 0xabcdef12\n sample count: 0\n duration: 4000000000 sec\n\n");
}

TEST(MediaSummary, NoTracks) {
    FakeAVReader reader;
    reader.mediaType = 3;
    EXPECT_EQ(Summary(reader), "Mediatype: A/V, total 0 track(s)\n");
}
