#pragma once
// Resource and control ids, shared by the resource script and the code.
#define IDI_APP 101
#define IDR_BANNER_PNG 201
#define IDD_MAIN 1000
#define IDC_BANNER 1001
#define IDC_CAPTION 1002
#define IDC_HEADING 1003
#define IDC_HINT 1004
#define IDC_FILELIST 1006
#define IDC_PROGRESS 1007
#define IDC_STATUS 1008
#define IDC_LINK 1009
#define IDC_RULE_TOP 1011
#define IDC_RULE_BOTTOM 1012
