// Resource and control ids shared by the .rc files and the code.
#pragma once

// Dialogs, menu, bitmap.
#define IDD_MAIN_WINDOW 102
#define IDD_PAGE_CODEC 103
#define IDD_PAGE_OUTPUT 104
#define IDD_PAGE_ATTRIBUTES 105
#define IDD_PAGE_PEERCAST 106
#define IDD_PAGE_SCRIPT 107
#define IDD_ABOUT 110
#define IDR_MAIN_MENU 108
#define IDR_MONITOR_MENU 109
#define IDB_TOOLBAR 107

// Commands of the menu and the toolbar.
#define IDM_START_BROADCAST 40002
#define IDM_SETTINGS 40006
#define IDM_STOP_BROADCAST 40008
#define IDM_SONG_DETECT 40010
#define IDM_CLOSE 40011
#define IDM_ABOUT 40013
#define IDM_COPY_LISTEN_ADDRESS 40021

// Main window controls.
#define IDC_TOOLBAR 101
#define IDC_LEVEL_METER 1004
#define IDC_RUNNING_TIME 1028
#define IDC_CLIENT_COUNT 1030
#define IDC_BIT_RATE 1032
#define IDC_BYTES_SENT 1035
#define IDC_OUTPUT_PORT 1038
#define IDC_SCRIPT_TEXT 1044
#define IDC_RELAY_STATE 1052
#define IDC_RECORD_STATE 1060
#define IDC_LISTEN_ADDRESS 1065
#define IDC_PORT_MAPPING_STATE 1066

// About box.
#define IDC_ABOUT_PRODUCT 1043
