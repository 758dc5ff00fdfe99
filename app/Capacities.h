// How much the dialog keeps at once: fixed tables, so nothing grows without
// bound however often the user presses a button.
#pragma once

// Cloaks and coils alive at once, each in its own registry.
#define MAX_EFFECTS 10
// Windows the list shows and the window table holds.
#define MAX_LISTED_WINDOWS 100
