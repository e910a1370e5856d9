// Numbers of the DLL's resources: the skin and its images, cursors, icons, dialogs,
// the menu and the strings. Shared by the resource script and the C++ code.
#pragma once

// The page's background, 570 x 436, 24 bits per pixel.
#define IDB_SKIN 103

// Ordinary bitmaps (24 bits per pixel unless noted).
#define IDB_LAMP_OFF 111      // over indicator, 12 x 9
#define IDB_LAMP_LATCHED 112
#define IDB_LAMP_ACTIVE 113
#define IDB_XOVER_HANDLE 142  // 8 x 14, magenta key
#define IDB_STRIP_ALL 145     // band selector strips, 200 x 20
#define IDB_STRIP_BAND2 146
#define IDB_STRIP_BAND3 147
#define IDB_STRIP_BAND4 148
#define IDB_STRIP_BAND5 149
#define IDB_STRIP_BAND1 150
#define IDB_ICON_BYPASS 151   // 16 x 11, magenta key
#define IDB_ICON_SOLO 152     // 16 x 11, magenta key
#define IDB_GAIN_BAR 159      // 8 x 140
#define IDB_LEVEL_BAR 160     // 8 x 139
#define IDB_GRID 161          // 210 x 120
#define IDB_CAPTION_BAND 162  // 113 x 10
#define IDB_CAPTION_OUT 163   // 20 x 10
#define IDB_CAPTION_Q 164     // 12 x 10
#define IDB_CAPTION_DB 165    // 16 x 10
#define IDB_MENU_MARK 7500    // 7 x 11, 4 bits per pixel, magenta key

// Raw pixel images: R, G, B and an inverted transparency byte per pixel.
#define IDR_FACE76_PRESSED 129
#define IDR_FACE15_PRESSED 130
#define IDR_FACE61_NORMAL 131
#define IDR_FACE61_PRESSED 132
#define IDR_FACE76_NORMAL 133
#define IDR_FACE15_NORMAL 134
#define IDR_FIELD40 135
#define IDR_FACE36_NORMAL 136
#define IDR_FACE36_PRESSED 137
#define IDR_METER_UNLIT 138
#define IDR_METER_LIT 139
#define IDR_MARKER 140
#define IDR_SLIDER_THUMB 141
#define IDR_MARKER_SELECTED 143
#define IDR_FACE19_NORMAL 144
#define IDR_FACE19_PRESSED 156
#define IDR_FIELD36 166

// Cursors (monochrome, 32 x 32).
#define IDC_GRAPH_DRAG 509
#define IDC_GRAPH_GRAB 510
#define IDC_PRESET_MOVE 511

// Icons of the preset manager's tree.
#define IDI_PRESET_ROOT 506
#define IDI_PRESET 231
#define IDI_BANK_OPEN 235
#define IDI_BANK_CLOSED 236

// Dialogs and the menu.
#define IDD_PAGE 106
#define IDD_PRESET_MANAGER 503
#define IDD_PRESET_ADD 504
#define IDD_PRESET_RENAME 505
#define IDD_PRESET_NEW_BANK 506
#define IDM_PRESET_MANAGER 511

// Controls of the dialogs.
#define IDC_OVER_LAMP 1020
#define IDC_PM_IMPORT 1500
#define IDC_PM_ADD 1501
#define IDC_PM_RENAME 1502
#define IDC_PM_UPDATE 1503
#define IDC_PM_DELETE 1504
#define IDC_PM_TREE 1510
#define IDC_PM_NAME 1511
#define IDC_PM_EXPORT 1512
#define IDC_PM_BANK 1513
#define IDC_PM_CANCEL 1514

// Strings.
#define IDS_PAGE_TITLE 1
