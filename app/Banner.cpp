#include "app/Banner.h"

#include <iostream>

namespace {

// Every line is exactly 49 characters, trailing blanks included, drawn only
// with blank ; ` . : and , so that any console and any log file show it alike.
// clang-format off
const char* const kBannerLines[] = {
    ".;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;.",
    ";   :: :: :: :: :: :: :: :: :: :: :: :: :: ::   ;",
    ":,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,:",
    ";  .;;;;;.  ;;;;;;;    .;.    ;.   .;  ;;;;;.   ;",
    ";  ;;    `    ;;;     .;`;.   ;;. .;;  ;;   ;;  ;",
    ";  ;;         ;;;    .;` `;.  ;`;.;`;  ;;   ;;  ;",
    ";  `;;;;;.    ;;;    ;;   ;;  ; `;` ;  ;;;;;`   ;",
    ";       ;;    ;;;    ;;;;;;;  ;     ;  ;;       ;",
    ";  .    ;;    ;;;    ;;   ;;  ;     ;  ;;       ;",
    ";  `;;;;;`    ;;;    ;;   ;;  ;     ;  ;;       ;",
    ":```````````````````````````````````````````````:",
    ";   :: :: :: :: :: :: :: :: :: :: :: :: :: ::   ;",
    "`;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;`",
};
// clang-format on

}  // namespace

// The banner's console colour has no counterpart here: the text is written plain.
void PrintBanner() {
    for (const char* line : kBannerLines) std::cout << line << '\n';
    std::cout << '\n';
}
