#pragma once
// Identifiers of the framework tests' own templates and strings.

#define IDD_PAGE_ONE 101
#define IDD_PAGE_TWO 102
#define IDD_PAGE_THREE 103
#define IDD_MODELESS 110
#define IDD_FIELDS 120
#define IDD_ROUTING 130
// No template has this number.
#define IDD_MISSING 199

#define IDC_PAGE_EDIT 1001
#define IDC_MODELESS_EDIT 1010
#define IDC_NUMBER 1020
#define IDC_SIGNED 1021
#define IDC_NAME 1022
#define IDC_FLAG 1023
#define IDC_ROUTE_BUTTON 1030
#define IDC_ROUTE_EDIT 1031
#define IDC_ROUTE_LIST 1032

#define IDS_PORT_OF 2001
#define IDS_EMPTY_PATTERN 2002
