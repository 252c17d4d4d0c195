// Ids of the stub's own resources and of the progress dialog's controls.
#pragma once

#define IDD_PROGRESS_DIALOG 102
#define IDI_PROGRAM_ICON 128

#define IDC_PROGRESS_BAR 1000
#define IDC_HEADING 1001
#define IDC_STATUS 1003
#define IDC_EXTRACTING 1007
#define IDC_PERCENT 1008
