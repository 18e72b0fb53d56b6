// The fallback run over the view-while-recording reader, for recordings the
// media reader cannot open.
#ifndef STAMPWALK_APP_FALLBACKREPORT_H
#define STAMPWALK_APP_FALLBACKREPORT_H

#include <cstdint>
#include <string>

void ViewWhileRec(const std::string& pathname, int32_t timeType);

#endif
