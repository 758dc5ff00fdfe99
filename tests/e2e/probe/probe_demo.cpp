// Commands for the demo recording.
//
//   probe place HWND X Y W H       places and sizes a window (without activating it)
#include "Probe.h"

PROBE_COMMAND(place, "place", 5) {
    BOOL ok =
        SetWindowPos(ParseHwnd(argv[1]), nullptr, (int)ParseNum(argv[2]), (int)ParseNum(argv[3]),
                     (int)ParseNum(argv[4]), (int)ParseNum(argv[5]), SWP_NOZORDER | SWP_NOACTIVATE);
    return ok ? 0 : ProbeFail("SetWindowPos failed");
}
