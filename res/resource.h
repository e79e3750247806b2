// Resource, control and command identifiers of KORVANE.EXE.
#pragma once

// Dialog templates
#define IDD_ABOUTBOX            100
#define IDD_MAIN                102
#define IDD_WALK_PROGRESS       129
#define IDD_RESULTS             131
#define IDD_READ_PROGRESS       136

// Icon, toolbar and its bitmap
#define IDR_MAINFRAME           128
#define IDR_TOOLBAR             133
#define RT_TOOLBAR_DATA         241

// Strings
#define IDS_ABOUTBOX            101
#define IDS_COPYRIGHT           32772

// Controls
#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
#define IDC_WALK_PATH           1001
#define IDC_QUIT                1003
#define IDC_DRIVE               1005
#define IDC_RESULT_LIST         1006
#define IDC_FILE_NAME           1008
#define IDC_VOLUME_LABEL        1010
#define IDC_READ_PROGRESS       1011

// Commands
#define IDM_ABOUTBOX            16
#define ID_PRINT_RESULTS        32774
#define ID_RUN_TESTS            32775
#define ID_EDIT_COPY            0xE122
#define ID_HELP                 57670
#define AFX_IDW_TOOLBAR         0xE800
