// Resource and command identifiers of the desktop program: dialog templates, controls,
// menu commands and string-table entries. The numbers are the program's own and stay
// fixed; tests find controls by them.
#pragma once

namespace ids {

// Templates and resources.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_MAIN = 102;
constexpr int IDI_MAINFRAME = 128;
constexpr int IDR_MAINMENU = 129;
constexpr int IDD_CONFIRM_OVERWRITE = 139;
constexpr int IDD_MFTDUMP = 141;

// Standard dialog results and buttons.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDALL = 3;  // the overwrite dialog's "All" (IDABORT's number)
constexpr int IDNO = 7;

// Template 102.
constexpr int IDC_DRIVE_TREE = 1001;
constexpr int IDC_FILE_LIST = 1008;
constexpr int IDC_FILES_FILTER = 1009;
constexpr int IDC_FOLDERS_FILTER = 1010;
constexpr int IDC_FOLDERS_FILTER_LABEL = 1011;
constexpr int IDC_FILES_FILTER_LABEL = 1012;
constexpr int IDC_DESTINATION_LABEL = 1013;
constexpr int IDC_DESTINATION = 1014;
constexpr int IDC_CLEAR_FILTER = 1015;
constexpr int IDC_BROWSE = 1016;
constexpr int IDC_UNDELETE = 1017;
constexpr int IDC_ETCHED_LINE = 1019;
constexpr int IDC_ETCHED_VERTICAL = 1020;
constexpr int IDC_RESCAN = 32771;

// Status-bar children.
constexpr int IDC_CANCEL_BUTTON = 107;
constexpr int IDC_PROGRESS = 108;
constexpr int IDC_STATUS_PANE0 = 59393;  // the framework's status bar id plus one

// Hint panels over the file list.
constexpr int IDC_INVITATION_PANEL = 1101;
constexpr int IDC_NOT_SUPPORTED_PANEL = 1102;

// Template 139.
constexpr int IDC_OVERWRITE_TEXT = 1031;
constexpr int IDC_OVERWRITE_ICON = 1032;

// Menu 129.
constexpr int ID_FILE_UNDELETE = 1017;
constexpr int ID_APP_EXIT = 32772;
constexpr int ID_APP_ABOUT = 32773;
constexpr int ID_HELP_CONTENTS = 32787;
constexpr int ID_HELP_SUPPORT = 32789;
constexpr int ID_HELP_WEBSITE = 32790;
constexpr int ID_FILE_SCAN = 32797;
constexpr int ID_FILE_MFTDUMP = 32798;
constexpr int ID_OPEN_LOG_FOLDER = 32799;
constexpr int ID_HELP_TOOLBOX = 32800;
// Commands of this port (no counterpart in the original menu).
constexpr int ID_FILE_OPEN_IMAGE = 32801;
constexpr int ID_VIEW_REFRESH_DRIVES = 32802;
constexpr int ID_HELP_DIAGNOSTICS = 32803;
constexpr int ID_FILE_PREVIEW = 32810;
constexpr int ID_FILE_WRITE_REPORT = 32811;
constexpr int ID_VIEW_CONTENT_COLUMN = 32812;
constexpr int ID_FILE_RECOVER_STREAMS = 32804;
constexpr int IDM_ABOUTBOX = 16;

// Range of the runtime library's toolbox commands.
constexpr int ID_TOOLBOX_FIRST = 2000;
constexpr int ID_TOOLBOX_LAST = 2100;

}  // namespace ids
