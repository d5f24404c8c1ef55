// Resource identifiers shared by the .rc file and the C++ sources.
#ifndef QCLEAVER_RESOURCE_H
#define QCLEAVER_RESOURCE_H

// winuser.h defines IDC_SIZE as a cursor; this program means its dialog
// control.  Pull the Windows headers in first so that our definition wins.
#if defined(_WIN32) || defined(RC_INVOKED)
#include <windows.h>
#endif
#ifdef IDC_SIZE
#undef IDC_SIZE
#endif

#define IDD_SPLIT_DIALOG 101
#define IDD_JOIN_DIALOG 104
#define IDI_APP 105
#define IDB_BANNER 106

#define IDC_BROWSE 1000
#define IDC_SIZE_360 1001
#define IDC_SIZE_720 1002
#define IDC_SIZE_144 1003
#define IDC_INPUT_PATH 1005
#define IDC_NAME 1007
#define IDC_SIZE 1008
#define IDC_PARTS 1009
#define IDC_FOUND 1010
#define IDC_SIZE_USER 1017
#define IDC_USER_KB 1018
#define IDC_DELETE_PARTS 1019
#define IDC_MAKE_COPY 1020
// The terminal's split dialog alone: which system the head part is for.
#define IDC_FOR_LINUX 1021
#define IDC_FOR_WINDOWS 1022
#define IDC_RECOVERY 1023
#define IDC_RECOVERY_FOUND 1024
#define IDC_REPAIR 1025
#define IDC_BANNER 1026
#define IDC_REPAIR_SET 1027

#endif
