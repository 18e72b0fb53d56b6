#include "FallbackReport.h"

// UNFINISHED: the view-while-recording reader is not built yet, so there is
// nothing to open and no status to print. This run prints nothing until the
// reader's VIEWWHILEREC_ functions exist.
void ViewWhileRec(const std::string& pathname, int32_t timeType) {
    (void)pathname;
    (void)timeType;
}
