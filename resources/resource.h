// Resource ids of Velluma.dll, kept by hand and numbered in blocks per dialog.
// Shared by the .rc files (windres) and the C++ code.
#pragma once

// Registry scripts (resource type "REGISTRY").
#define IDR_APPID_SCRIPT            101
#define IDR_VELLUMAOUTPUT_SCRIPT    102
#define IDR_PACKAGE_SCRIPT          103

// Icons.
#define IDI_EDITOR_SMALL            208
#define IDI_IMAGE_TOP               3131
#define IDI_IMAGE_BOTTOM            3132
#define IDI_IMAGE_LEFT              3133
#define IDI_IMAGE_RIGHT             3134
#define IDI_ALIGN_CENTER            3150
#define IDI_ALIGN_LEFT              3151
#define IDI_ALIGN_RIGHT             3152
#define IDI_BOLD                    3154
#define IDI_ITALIC                  3155
#define IDI_CREATE_LINK             3156
#define IDI_UNDERLINE               3159
#define IDI_REMOVE_LINK             3160

// Strings of the accessory object and the send command.
#define IDS_SEND_MENU_LABEL         103
#define IDS_SEND_FAILED             105
#define IDS_POST_COMPLETE_TITLE     107
#define IDS_OPTIONS_MENU_LABEL      108

// Strings of the account controller.
#define IDS_INVALID_LOGIN           40013
#define IDS_LOGIN_CAPTION_FORMAT    40014

// Strings of the publishing side.
#define IDS_LOAD_LIBRARY_FAILED     511
#define IDS_PUBLISH_FAILED          512
#define IDS_EXPORT_MISSING          513

// Text size entries of the editor (index 0..6).
#define IDS_SIZE_XX_SMALL           502
#define IDS_SIZE_X_SMALL            503
#define IDS_SIZE_SMALL              504
#define IDS_SIZE_MEDIUM             505
#define IDS_SIZE_LARGE              506
#define IDS_SIZE_X_LARGE            507
#define IDS_SIZE_XX_LARGE           508

// Log-in dialog (template 222).
#define IDD_BLOG_AUTH               222
#define IDC_AUTH_LOGIN              216
#define IDC_AUTH_PASSWORD           217
#define IDC_AUTH_ENDPOINT           218
#define IDC_AUTH_SERVER             219
#define IDC_AUTH_REMEMBER           1006

// Options dialog (template 409).
#define IDD_BLOG_OPTIONS            409
#define IDC_OPTIONS_PASSWORD        405
#define IDC_OPTIONS_ALWAYS          406
#define IDC_OPTIONS_PROMPT          407
#define IDC_OPTIONS_LOGIN           408
#define IDC_OPTIONS_SERVER          1009
#define IDC_OPTIONS_ENDPOINT        1010

// Labels shared by the log-in and options dialogs.
#define IDC_SERVER_LABEL            1001
#define IDC_ENDPOINT_LABEL          1002
#define IDC_LOGIN_GROUP             1003
#define IDC_PASSWORD_LABEL          1029
#define IDC_LOGIN_LABEL             1030

// Blog editor (template 3102).
#define IDD_BLOG_EDITOR             3102
#define IDC_EDITOR_BODY             3000
#define IDC_EDITOR_TAGS             3012
#define IDC_EDITOR_DIFFERENT_ACCOUNT 3013
#define IDC_EDITOR_TEXT_SIZE        3015
#define IDC_EDITOR_POST             3017
#define IDC_EDITOR_ENTRY_GROUP      1012
#define IDC_EDITOR_ACCOUNT_GROUP    1013
#define IDC_EDITOR_LOGGED_IN_LABEL  1014
#define IDC_EDITOR_USERNAME         1015
#define IDC_EDITOR_BLOG_LABEL       1016
#define IDC_EDITOR_BLOG_LIST        1017
#define IDC_EDITOR_TITLE_LABEL      1018
#define IDC_EDITOR_TITLE            1028
#define IDC_EDITOR_FORMAT_FRAME     1032
#define IDC_EDITOR_IMAGE_FRAME      1033
#define IDC_EDITOR_DRAFT            1039
#define IDC_EDITOR_TAGS_LABEL       1011
// Toolbars created by the editor over the frames 1032 and 1033.
#define IDC_EDITOR_FORMAT_BAR       1040
#define IDC_EDITOR_IMAGE_BAR        1041
// Icon buttons kept hidden and disabled in the template; nothing uses them.
#define IDC_EDITOR_UNUSED_ICON_1    1019
#define IDC_EDITOR_UNUSED_ICON_2    1020
#define IDC_EDITOR_UNUSED_ICON_3    1021
#define IDC_EDITOR_UNUSED_ICON_4    1022
#define IDC_EDITOR_UNUSED_ICON_5    1023
#define IDC_EDITOR_UNUSED_ICON_6    1024
#define IDC_EDITOR_UNUSED_ICON_7    1025
#define IDC_EDITOR_UNUSED_ICON_8    1026
#define IDC_EDITOR_UNUSED_ICON_9    3010
#define IDC_EDITOR_UNUSED_ICON_10   3014
#define IDC_EDITOR_UNUSED_ICON_11   3039
#define IDC_EDITOR_UNUSED_ICON_12   3040
#define IDC_EDITOR_UNUSED_ICON_13   3041
#define IDC_EDITOR_UNUSED_ICON_14   3042

// Editor commands (toolbar buttons; their tool tips are strings of the same id).
#define ID_FORMAT_BOLD              40001
#define ID_FORMAT_UNDERLINE         40003
#define ID_FORMAT_ITALIC            40004
#define ID_LINK_CREATE              40007
#define ID_LINK_REMOVE              40008
#define ID_IMAGE_LEFT               40009
#define ID_IMAGE_RIGHT              40010
#define ID_IMAGE_TOP                40011
#define ID_IMAGE_BOTTOM             40012
#define ID_ALIGN_LEFT               3161
#define ID_ALIGN_CENTER             3162
#define ID_ALIGN_RIGHT              3163

// Link dialog (template 3129).
#define IDD_CREATE_LINK             3129
#define IDC_LINK_URL_RADIO          1034
#define IDC_LINK_EMAIL_RADIO        1035
#define IDC_LINK_EMAIL_TEXT_LABEL   1036
#define IDC_LINK_TYPE_GROUP         1037
#define IDC_LINK_URL_ADDRESS        3018
#define IDC_LINK_URL_ADDRESS_LABEL  3023
#define IDC_LINK_EMAIL_ADDRESS_LABEL 3024
#define IDC_LINK_SUBJECT_LABEL      3025
#define IDC_LINK_EMAIL_ADDRESS      3026
#define IDC_LINK_SUBJECT            3027
#define IDC_LINK_URL_TEXT           3028
#define IDC_LINK_URL_TEXT_LABEL     3029
#define IDC_LINK_EMAIL_TEXT         3030
