#include "app/MediaReaderRun.h"

#include <cstdio>
#include <iostream>

#include "app/FrameLoop.h"
#include "app/MediaSummary.h"

namespace {

void ReleaseReader(AVReader* reader) {
    if (reader != nullptr) reader->Release();
}

}  // namespace

// The two open-failure lines are printed with printf; std::cout stays
// synchronised with C stdio, so both keep their order with the lines around them.
boost::shared_ptr<AVReader> OpenAVReader(const std::string& pathname) {
    AVReader* reader = nullptr;
    const int32_t status = AVReaderOpen(&reader, pathname.c_str(), kOpenPairCompanionTracks);
    if (status < 0)
        std::printf("%s - AVReader open file: %s failed: %x\n", "OpenAVReader", pathname.c_str(),
                    static_cast<unsigned>(status));
    return boost::shared_ptr<AVReader>(reader, ReleaseReader);
}

int32_t ParseWithAVReader(const std::string& pathname, int32_t timeType) {
    const boost::shared_ptr<AVReader> reader = OpenAVReader(pathname);
    if (!reader) {
        std::printf("%s - OpenAVReader with mediafile: %s failed will try to use ViewWhileRec", "StampProbe",
                    pathname.c_str());
        return -1;
    }
    RunFrameLoop(*reader, timeType, std::cout);
    PrintMediaSummary(*reader, std::cout);
    return 0;
}
