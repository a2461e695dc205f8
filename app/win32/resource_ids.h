#pragma once
// Identifiers of the Win32 dialog's resources and controls, shared by tarvu.rc (read by
// windres, so plain #defines only) and the C++ code.

// Dialogs.
#define IDD_ABOUTBOX 100
#define IDD_TARVU_DIALOG 102

// Strings, icons, accelerators.
#define IDS_ABOUTBOX 101
#define IDR_MAINFRAME 128
// The tray icon while datagrams pass and the window hides: a packet sent, one received.
#define IDI_TRAY_SENT 129
#define IDI_TRAY_RECEIVED 130
#define IDR_ACCELERATOR 134

// The system-menu item of the About box and the accelerator's command (no handler).
#define IDM_ABOUTBOX 0x0010
#define ID_ACCEL_SHIFT_F6 32772

// Controls of dialog 102.
#define IDC_STATUS0 1073
#define IDC_ADDRESS_LIST 1035
#define IDC_STATUS1 1074
#define IDC_HIDDEN_EDIT 1038
#define IDC_HIDDEN_COMBO 1039
#define IDC_PACKET 1040
#define IDC_SEND 1041
#define IDC_TRACE 1042
#define IDC_DESTINATION 2045
#define IDC_CLEAR_TRACE 1044
#define IDC_SUBSTITUTION 1045
#define IDC_READ_PORT 1046
#define IDC_SEND_PORT 1047
#define IDC_SET_PORT 1048

// Controls of the About box: the version, the copyright and the licence.
#define IDC_ABOUT_VERSION 1000
#define IDC_ABOUT_COPYRIGHT 1001
#define IDC_ABOUT_LICENCE 1002
