// Command, control and resource ids of the stand-in mail client. The common
// commands carry the standard MFC ids that the real client uses and that the
// module recognises its menus and commands by; the rest are the client's own.
// Included by the resource script too, so only #define lines belong here.
#pragma once

#define IDR_MAINFRAME 128
#define IDS_ATTACHMENT_CONVERTED 1410

// File
#define ID_FILE_NEW_MESSAGE 0xE100
#define ID_FILE_OPEN_MESSAGE 0xE101
#define ID_FILE_CLOSE 0xE102
#define ID_FILE_CHECK_MAIL 0x8070
#define ID_APP_EXIT 0xE141
// Edit
#define ID_EDIT_CLEAR 0xE120
#define ID_EDIT_COPY 0xE122
#define ID_EDIT_CUT 0xE123
#define ID_EDIT_PASTE 0xE125
#define ID_EDIT_SELECT_ALL 0xE12A
#define ID_EDIT_UNDO 0xE12B
#define ID_EDIT_WRAP_SELECTION 0x8060
#define ID_EDIT_FINISH_NICKNAME 0x8061
// Mailbox
#define ID_MAILBOX_IN 0x8080
#define ID_MAILBOX_OUT 0x8081
// Message
#define ID_MESSAGE_REPLY 0x801D
#define ID_MESSAGE_FORWARD 0x801E
#define ID_MESSAGE_SEND 0x801F
// Transfer and Special: shown, never enabled
#define ID_TRANSFER_IN 0x8090
#define ID_TRANSFER_TRASH 0x8091
#define ID_SPECIAL_EMPTY_TRASH 0x8098
#define ID_SPECIAL_SETTINGS 0x8099
// Tools
#define ID_TOOLS_MAILBOXES 0x80A0
#define ID_TOOLS_NICKNAMES 0x80A1
// Window
#define ID_WINDOW_ARRANGE 0xE130
#define ID_WINDOW_CASCADE 0xE132
#define ID_WINDOW_TILE 0xE133
// Help
#define ID_APP_ABOUT 0xE140
#define ID_HELP_TOPICS 0xE142

// Child windows of the main window (MFC's ids for bars and the first pane).
#define IDC_TOOLBAR 0xE800
#define IDC_STATUS_LINE 0xE801
#define IDC_MDI_CLIENT 0xE900
#define IDC_MAILBOX_LIST 0xE901
// The first id MDI gives to the children it lists in the Window menu.
#define IDC_FIRST_CHILD 0xFF00

// Child windows of a message frame and of a composition form.
#define IDC_MESSAGE_VIEW 0x3E8
#define IDC_FIELD_TO 0x3E9
#define IDC_FIELD_FROM 0x3EA
#define IDC_FIELD_SUBJECT 0x3EB
#define IDC_FIELD_CC 0x3EC
#define IDC_FIELD_BCC 0x3ED
#define IDC_FIELD_BODY 0x3EE
#define IDC_FORM_STATUS 0x3EF
#define IDC_COMPOSE_FORM 0x3F0
#define IDC_LABEL_FIRST 0x400
