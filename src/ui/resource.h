// Resource numbers shared by the resource script and the code that loads the
// resources. Only #define lines: the resource compiler reads this file too.
#ifndef NIMBARD_UI_RESOURCE_H
#define NIMBARD_UI_RESOURCE_H

// Strings: the application title (also the tray window's title) and the tray
// window's class name. Menu and accelerator table 109 share the class name's
// number, as the tray window class uses them together.
#define IDS_APP_TITLE 103
#define IDC_NIMBARD 109

// Icons: the large one for the window class and the About box, the small one
// for the window class and the notification area, and the same picture with
// a warning badge that the notification area shows while the last check
// failed.
#define IDI_NIMBARD 107
#define IDI_SMALL 108
#define IDI_TRAY_WARNING 111

// Dialogs.
#define IDD_ABOUTBOX 103
#define IDD_CONFIG 110

// Controls of the configuration dialog. The record selector lists every
// configured record; the boxes below it show the chosen one.
#define IDC_CONFIG_API_KEY 1000
#define IDC_CONFIG_DOMAIN 1001
#define IDC_CONFIG_RECORD 1002
#define IDC_CONFIG_POLL_MINUTES 1003
#define IDC_CONFIG_PROVIDER 1004
#define IDC_CONFIG_ZONE_ID 1005
#define IDC_CONFIG_RECORD_ID 1006
#define IDC_CONFIG_RECORD_SELECTOR 1007
#define IDC_CONFIG_ADD_NEW 1008
#define IDC_CONFIG_REMOVE 1009
// Texts that follow the provider, and the line that says what the check on
// Save is doing.
#define IDC_CONFIG_API_KEY_LABEL 1010
#define IDC_CONFIG_API_KEY_HINT 1011
#define IDC_CONFIG_ZONE_ID_LABEL 1012
#define IDC_CONFIG_RECORD_ID_LABEL 1013
#define IDC_CONFIG_CHECK_STATUS 1014
// Which records of the name are kept: A, AAAA or both.
#define IDC_CONFIG_RECORD_KINDS 1015

// Commands of the window menu, the accelerators and the tray's popup menu.
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_STATUS_LINE 32771
#define IDM_OPEN_LOG 32772
#define IDM_OPEN_CONFIG 32773
#define IDM_FORCE_UPDATE 32774
#define IDM_SERVICE_STATE 32775
#define IDM_SERVICE_START 32776
#define IDM_SERVICE_STOP 32777
#define IDM_SERVICE_RESTART 32778
#define IDM_SERVICE_INSTALL 32779
#define IDM_SERVICE_UNINSTALL 32780
#define IDM_MANAGE_RECORDS 32781

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif  // NIMBARD_UI_RESOURCE_H
