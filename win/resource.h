// Resource and control numbers of the main dialog, shared by the code and the
// resource script.
#pragma once

#define IDD_MAIN 200
#define IDI_APP 300

// Push buttons
#define IDC_DUMP 1000
#define IDC_ABOUT 1001
#define IDC_ENCODE 1004
#define IDC_BROWSE_ROM 1006
#define IDC_BROWSE_WAV 1007
#define IDC_VERIFY 1010
#define IDC_REPOINT 1014
#define IDC_SIZES 1016

// Edit fields
#define IDC_ROM_PATH 1002
#define IDC_WAV_PATH 1003
#define IDC_TABLE_OFFSET 1005
#define IDC_ID 1009
#define IDC_SAMPLE_OFFSET 1015

// Check boxes
#define IDC_USE_TABLE 1008
#define IDC_AUTOPLAY 1012
#define IDC_CONFIRM 1013

// Labels written by the code
#define IDC_VERSION 1011
#define IDC_ROM_SIZE 1017
#define IDC_WAV_SIZE 1018
