#pragma once
// Drives the real protocol engine through a recording link and a recording view, reading the
// fuzz input as a script of actions, and checks the invariants after every one of them.
//
// Actions (one byte each, then their arguments):
//   'H'        the phone answers what the engine waits for, as a phone without a fault would
//              (or, while the baud switch waits, its timer fires)
//   'h' N      up to N+1 such answers, until the engine waits for nothing
//   'S' START   'P' Stop   'D' DOWNLOAD   'F' Y Format (Y odd: the question is answered yes)
//   'T' Status  'E' A B "Erase..." and 'U' A B "Dump..." of the sectors A and B
//   'B' F      the baud timer fires (when it runs); F odd: that reopen fails
//   'L'        the watcher reports the device gone
//   'C' X Y    the window's choices: auto-download, power-on, start address box and text,
//              image, mode, speed
//   'Q' X      the file-system files and code page
//   any other  (op & 31) + 1 bytes from the phone, one notification each; with op & 32 all in
//              one notification (the replies are then no longer matched to their requests)
// Letters a harness does not offer count as phone bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/DownloaderView.h"

namespace zrk::fuzz {

struct EngineScenario {
    bool bringUpFirst = false;  // begin with a phone brought up without a fault
    std::string buttons;        // the letters of the actions offered besides phone bytes
    DownloadMode mode = DownloadMode::ModeBin;
    // The input ends once so many operations completed (see EngineDriver.cpp).
    std::size_t maxCompleted = 2;
};

void runEngine(const std::uint8_t* data, std::size_t size, const EngineScenario& scenario);

}  // namespace zrk::fuzz
