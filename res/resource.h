// Resource identifiers shared by the resource script and the C++ code.
// Only #define lines: windres reads this file too.
#ifndef DRAVLEK_RESOURCE_H
#define DRAVLEK_RESOURCE_H

// Dialog templates
#define IDD_PACKAGE_SELECT 102
#define IDD_PROGRESS 129

// Controls
#define IDC_PACKAGE_LIST 1001
#define IDC_PACKAGE_PROMPT 1002
#define IDC_UPDATE 1003
#define IDC_STATUS_LABEL 1004
#define IDC_STATUS_BOX 1005
#define IDC_CLOSE 1006

// Icon
#define IDI_APP 128

// Message strings (texts in strings.def)
#define IDS_ABOUT_MENU 101
#define IDS_SELECT_PROMPT 102
#define IDS_UPDATE_BUTTON 103
#define IDS_CANCEL_BUTTON 104
#define IDS_PROGRESS_CAPTION 105
#define IDS_STATUS_LABEL 106
#define IDS_EXTRACTING 107
#define IDS_TESTING 108
#define IDS_CLOSE_BUTTON 109
#define IDS_REQUIRED_FILE_MISSING 110
#define IDS_UPDATE_COMPLETE 111
#define IDS_NOT_INSTALLED 112
#define IDS_CONFIRM 113
#define IDS_PACKAGE_DAMAGED 114
#define IDS_WRITE_FAILED 115
#define IDS_START_FAILED 116
#define IDS_UPDATE_FAILED 117
#define IDS_UPDATE_UNDONE 118
#define IDS_UNDO_INCOMPLETE 119
#define IDS_ALREADY_RUNNING 120
#define IDS_USAGE 121
#define IDS_NOT_SIGNED 122
#define IDS_CHECKING_SIGNATURE 123
#define IDS_DELETING 124
#define IDS_WRONG_BASE 125

#endif
