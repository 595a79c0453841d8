// Resource ids of qlnet.dll, grouped by what uses them. Included by the .rc
// file (through windres' preprocessor) and by C++, so plain #defines only.
#ifndef QUILLNET_RESOURCE_IDS_H
#define QUILLNET_RESOURCE_IDS_H

// ---- String table -------------------------------------------------------
// Start-up and launcher
#define IDS_ALREADY_RUNNING      2
#define IDS_NO_VALID_EUDORA      3
#define IDS_EUDORA16             5
#define IDS_PGP_NOT_FOUND        6
#define IDS_OVERWRITE_FILES      7
#define IDS_INIT_FAILED          8
#define IDS_TIME_OUT             46
// Confirmation dialog explanations and caption labels
#define IDS_EXPLAIN_DECODE       10
#define IDS_EXPLAIN_CHECK        11
#define IDS_EXPLAIN_CLEARSIGN    12
#define IDS_EXPLAIN_ADDKEY       13
#define IDS_EXPLAIN_ENCRYPT      15
#define IDS_ATTACHED_FILE        16
#define IDS_LABEL_FUNCTIONS      20
#define IDS_LABEL_ENCRYPT        21
#define IDS_LABEL_DECODE         22
#define IDS_LABEL_CHECK          23
#define IDS_LABEL_CLEARSIGN      24
#define IDS_LABEL_ADDKEY         26
// About dialog
#define IDS_ABOUT_LINE1          30
#define IDS_ABOUT_LINE2          31
#define IDS_ABOUT_VERSION        32
#define IDS_ABOUT_PURPOSE        33
#define IDS_ABOUT_USE            34
#define IDS_ABOUT_PROJECT        35
#define IDS_ABOUT_NO_CRYPTO      36
// File errors
#define IDS_UNKNOWN_ERROR        40
#define IDS_FILE_NOT_FOUND       41
#define IDS_PATH_NOT_FOUND       42
#define IDS_NOT_ENOUGH_MEMORY    43
#define IDS_RENAME_FAILED        45
#define IDS_NO_TEMP_DIR          47
#define IDS_TEMP_PATH_TOO_LONG   48
#define IDS_FILE_NO_DATA         74
#define IDS_FILE_IS_LINK         75
#define IDS_NO_TEMP_SETTING      76
#define IDS_NOT_A_DISK_FILE      77
#define IDS_ATTACHMENT_NOT_LOCAL 78
#define IDS_RECIPIENTS_LEFT_OUT  79
#define IDS_RECIPIENTS_TOO_LONG  80
#define IDS_KEYS_ADDED           81
#define IDS_KEYS_ADDED_UNNAMED   82
#define IDS_NO_KEYS_ADDED        83
#define IDS_RECIPIENTS_NOT_NAMED 86
// The marker lines around PGP's output and the keys-added list
#define IDS_MARK_DECRYPTED       90
#define IDS_MARK_NOT_ENCRYPTED   91
#define IDS_MARK_PLAIN           92
#define IDS_MARK_NOT_SIGNED      93
#define IDS_MARK_NO_SIGNATURE    94
#define IDS_MARK_GOOD_FROM       95
#define IDS_MARK_GOOD_UNVERIFIED 96
#define IDS_MARK_VALIDITY_UNKNOWN 97
#define IDS_MARK_KEY_CALLS_ITSELF 98
#define IDS_MARK_UNKNOWN_KEY     99
#define IDS_MARK_UNKNOWN_KEY_NAMED 100
#define IDS_MARK_BAD             101
#define IDS_MARK_BAD_PROBLEM     102
#define IDS_MARK_UNNAMED_SIGNER  103
#define IDS_MARK_MADE            104
#define IDS_MARK_KEY             105
#define IDS_MARK_FROM_UNVERIFIED 106
#define IDS_MARK_INNER_SIGNATURE 107
#define IDS_MARK_UNKNOWN_CHARSET 108
#define IDS_MARK_UNMAPPABLE_ONE  109
#define IDS_MARK_UNMAPPABLE      110
#define IDS_MARK_DAMAGED         111
#define IDS_MARK_NO_VERDICT_CHECK 112
#define IDS_MARK_NO_VERDICT      113
#define IDS_KEYS_MORE_ONE        114
#define IDS_KEYS_MORE            115
#define IDS_KEYS_HAD             116
#define IDS_KEYS_NO_NEW_ID       117
#define IDS_KEYS_NO_ID           118
#define IDS_KEYS_MORE_IDS        119
#define IDS_KEYS_NO_FINGERPRINT  120
// Run-PGP command and result delivery
#define IDS_PGP_ERRORCODE        50
#define IDS_COPY_FAILED          53
#define IDS_NO_CLIPBOARD         54
#define IDS_COPY_TO_CLIPBOARD    55
#define IDS_NO_QUOTE_MARKS       56
#define IDS_NOTHING_TO_DO        57
#define IDS_NO_TEXT_FOUND        58
#define IDS_NO_SOURCE_WINDOW     59
#define IDS_NO_WINDOW_TEXT       60
#define IDS_NO_TOOLBAR           62
#define IDS_ATTACHMENT_PREFIX    63
#define IDS_PRESS_ANY_KEY        73
#define IDS_RECIPIENT_IS_OPTION  67
#define IDS_CLIENT_GONE          68
// Menu items
#define IDS_MENU_EXIT            64
#define IDS_MENU_ABOUT           65
#define IDS_MENU_RUN_PGP         66

// ---- Pass-phrase dialog -------------------------------------------------
#define IDD_PASSPHRASE           1200
#define IDC_PASSPHRASE           1250

// ---- About dialog -------------------------------------------------------
#define IDD_ABOUT                2200
#define IDC_ABOUT_ICON           2250

// ---- Confirmation dialog ------------------------------------------------
#define IDD_CONFIRM              2300
#define IDC_PREVIEW              2450
#define IDC_ENCRYPT_FOR          2451
#define IDC_ENCRYPT_FOR_LABEL    2452
#define IDC_EXPLANATION          2453
#define IDC_SKIP                 2454

// ---- Bitmaps and icons --------------------------------------------------
#define IDB_BUTTON_FACE          200

#endif
