#include "app/ClosingLine.h"

void PrintClosingLine(std::ostream& out, double elapsedSeconds) {
    out << "Congratulation! The time parser parseed completely. elapsed time: " << elapsedSeconds << " s" << '\n';
}
