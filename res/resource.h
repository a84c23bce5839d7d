// Resource and control identifiers of Tirvo.
#pragma once

#define IDD_ABOUTBOX        100
#define IDS_ABOUTBOX        101
#define IDD_MAIN            102
#define IDR_MAINFRAME       128
#define IDD_OPTION          129
#define IDD_PROGRESS        130
#define IDD_PASSWORD        131
#define IDD_COMMENT         132

#define IDM_ABOUTBOX        0x0010

// Main window
#define IDC_FILENAME        1000
#define IDC_BROWSE          1001    // also the options dialog's folder button
#define IDC_TOPMOST         1002
#define IDC_MODE_ADD        1003
#define IDC_MODE_MOVE       1004
#define IDC_MODE_UPDATE     1005
#define IDC_MODE_FRESHEN    1006
#define IDC_ENCRYPT         1007
#define IDC_JUNKDIR         1008
#define IDC_FORCE           1009
#define IDC_COMMENT         1010
#define IDC_OPTIONS         1011

// Options dialog
#define IDC_TEMP            1012
#define IDC_SYSTEM          1013
#define IDC_VOLUME          1014
#define IDC_EXTRA           1015
#define IDC_NODIRENTRIES    1016
#define IDC_EXCLUDEDATE     1017
#define IDC_INCLUDEDATE     1018
#define IDC_QUIET           1019
#define IDC_CRLF_LF         1020
#define IDC_LF_CRLF         1021
#define IDC_LATESTTIME      1022
#define IDC_TEMPDIR         1023
#define IDC_DATE            1025
#define IDC_LEVEL           1026

// Progress window
#define IDC_LOG             1027
#define IDC_AUTOCLOSE       1028

// Prompt dialogs
#define IDC_PASSWORD        1029
#define IDC_PROMPT          1030
#define IDC_COMMENT_TEXT    1031
