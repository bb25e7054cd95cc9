// Resource and control ids, shared by the resource script and the window code.
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_LUMO_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BANNER 133

#define IDC_SAVE_FOLDER 1000
#define IDC_BROWSE 1001
#define IDC_CAPACITY 1004
#define IDC_PROGRESS_CAPTION 1005
#define IDC_PARTITION 1006
#define IDC_REFRESH 1007
#define IDC_RESULT 1008
#define IDC_PROGRESS 1009
#define IDC_PERCENT 1010
#define IDC_STOP 1011
#define IDC_START 1012
#define IDC_MAKER_LINK 1019
#define IDC_BANNER 1020
#define IDC_FEEDBACK_LINK 1021

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif
