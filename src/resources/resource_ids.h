#pragma once
// Numbered resources and control ids, shared by the C++ code and the resource scripts.
// (Only preprocessor definitions: windres reads this file too.)

// Update notice (dialog 507).
#define IDD_UPDATE_NOTIFY 507
#define IDC_UPDATE_MESSAGE 514
#define IDC_UPDATE_DONT_ASK 542

// Options dialog (dialog 521).
#define IDD_OPTIONS 521
#define IDC_OPTIONS_USER_NAME 516
#define IDC_OPTIONS_PASSWORD 517
#define IDC_OPTIONS_SERVER_URL 518
#define IDC_OPTIONS_AUTO_LOGIN 519
#define IDC_OPTIONS_CLEAR_HISTORY 520
#define IDC_OPTIONS_USER_NAME_LABEL 525
#define IDC_OPTIONS_PASSWORD_LABEL 526
#define IDC_OPTIONS_NEW_TAB_SEARCH 528
#define IDC_OPTIONS_NEW_TAB_ITEM 529
#define IDC_OPTIONS_TAB_GROUP 530
#define IDC_OPTIONS_TOOLBAR_REFUSED 537
#define IDC_OPTIONS_AUTO_LOGIN_REFUSED 538

// About dialog (dialog 522) and the product icon it shows.
#define IDD_ABOUT 522
#define IDC_ABOUT_ICON 523
#define IDC_ABOUT_VERSION 524
#define IDI_PRODUCT 200

// Toolbar buttons: toolbar resource 515 (type 241) and bitmap 515 with their pictures.
#define RT_TOOLBAR_TYPE 241
#define IDR_TAVELLE_TOOLBAR 515

// The toolbar's other pictures: the strip with the new-arrivals mark and the logo.
#define IDB_ALTERNATE_TOOLBAR 531
#define IDB_LOGO 104

// The three pop-up menus of the main, new-item and list buttons.
#define IDR_BUTTON_MENUS 204

// Registration scripts: the application id's, the helper object's and the toolbar's.
#define IDR_REGISTRY_APPID 101
#define IDR_REGISTRY_BHO 102
#define IDR_REGISTRY_TOOLBAR 103
