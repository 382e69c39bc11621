// Identifiers of the program's resources (resource script corvel.rc) and of their controls.
#pragma once

// Dialogs and the icon.
#define IDD_PROGRESS_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_PRINTER_LIST 129

// Controls of the progress dialog.
#define IDC_PROGRESS_BAR 103
#define IDC_STAGE_LINE 104

// Controls of the main dialog (besides IDOK and IDCANCEL).
#define IDC_PRINTER_LIST 105
#define IDC_INSTRUCTION 107
#define IDC_STATUS_LINE 1000

// Static texts, which no code addresses (the same value as winres.h gives it).
#define IDC_STATIC (-1)
