// The program's own window messages. Their data travels in lParam.
#pragma once
#include <windows.h>

#define UM_WARP_SHIP_RUN (WM_USER + 10)   // to the ship window: run the morph
#define UM_COIL_DONE (WM_USER + 11)       // to the dialog: a coil has faded; lParam its window
#define UM_ENABLE_COMMANDS (WM_USER + 12) // to the dialog: lParam 0 greys, 1 enables
#define UM_TRAY_NOTIFY (WM_USER + 13)     // from the shell: lParam the mouse message
#define UM_CLOAK_DONE (WM_USER + 14)      // to the dialog: a cloak has ended; lParam its popup
#define UM_GROUP_UNCHECK (WM_USER + 256)  // to a radio button's group: uncheck yourself

