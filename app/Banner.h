// The console banner: a film strip with the word STAMP.
#ifndef STAMPWALK_APP_BANNER_H
#define STAMPWALK_APP_BANNER_H

// Prints the 13 banner lines, each 49 characters wide, then an empty line.
void PrintBanner();

#endif
