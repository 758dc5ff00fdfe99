// Resource identifiers of Tachyrama. Shared by the resource script and the code.
#pragma once

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102

// Strings
#define IDS_ABOUTBOX 101 // system-menu entry
#define IDS_TITLE 102    // "Tachyrama"
#define IDS_STAGE 103    // "stage 002"

// Icon
#define IDR_MAINFRAME 128

// Bitmaps
#define IDB_COIL 129
#define IDB_COIL_MASK 130
#define IDB_REFRESH_PRESSED 133
#define IDB_REFRESH_NORMAL 134
#define IDB_BACKGROUND 136
#define IDB_BUTTON_MASK 138
#define IDB_ENGAGE_NORMAL 139
#define IDB_ENGAGE_PRESSED 140
#define IDB_CLOAK_NORMAL 146
#define IDB_CLOAK_PRESSED 147
#define IDB_CLOSE_NORMAL 148
#define IDB_CLOSE_PRESSED 149
#define IDB_ABOUT_NORMAL 150
#define IDB_ABOUT_PRESSED 151
#define IDB_ABOUT_BACKGROUND 154
#define IDB_CLOAK_MASK_FIRST 155 // frames 0..14 are 155..169
#define IDB_CLOAK_MASK_REPEAT 170
#define IDB_FAREWELL 185

// Controls
#define IDC_ENGAGE 1000
#define IDC_CLOAK 1001
#define IDC_WINDOW_LIST 1002
#define IDC_REFRESH 1003
#define IDC_VERSION 1004
#define IDC_CLOSE 1008
#define IDC_ABOUT 1009
#define IDC_PROGRESS_STRIP 1012
#define IDC_FAREWELL 1013
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Commands
#define IDM_ABOUTBOX 0x0010
#define ID_TRAY_CLOSE 200
#define ID_TRAY_ABOUT 201
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif
