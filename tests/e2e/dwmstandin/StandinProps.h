// What the stand-in dwmapi.dll answers for a window, as window properties
// that the window's own program sets (targetwin) and the stand-in reads from
// any process with GetPropA:
//   "TachyDwmCloaked"   non-zero: DWMWA_CLOAKED answers this value
//   "TachyDwmInsetL/T/R/B"  DWMWA_EXTENDED_FRAME_BOUNDS answers the window
//                       rectangle shrunk by these many pixels on each side
// A window without them is uncloaked and its frame is its window rectangle.
#pragma once

#define TACHY_DWM_CLOAKED "TachyDwmCloaked"
#define TACHY_DWM_INSET_LEFT "TachyDwmInsetL"
#define TACHY_DWM_INSET_TOP "TachyDwmInsetT"
#define TACHY_DWM_INSET_RIGHT "TachyDwmInsetR"
#define TACHY_DWM_INSET_BOTTOM "TachyDwmInsetB"
