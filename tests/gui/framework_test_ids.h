#pragma once
#define IDD_FRAMEWORK_TEST   900
#define IDD_FRAMEWORK_PLACED 901
#define IDC_TEST_TEXT        910
#define IDC_TEST_RADIO0      911
#define IDC_TEST_RADIO1      912
#define IDC_TEST_RADIO2      913
#define IDC_TEST_CHECK       914
#define IDC_TEST_DATE        915
