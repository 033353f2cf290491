#pragma once
// Numbered resources and control ids, shared by the C++ code and the resource scripts.
// (Only preprocessor definitions: windres reads this file too.)

// Update notice (dialog 507).
#define IDD_UPDATE_NOTIFY 507
#define IDC_UPDATE_MESSAGE 514
#define IDC_UPDATE_DONT_ASK 542
