/* Numbers shared by the program and its language libraries (harvinr.dll).
   Plain #defines so the resource compiler can read this file too. */
#ifndef HARVIN_RESOURCE_IDS_H
#define HARVIN_RESOURCE_IDS_H

/* Dialog templates and the icon. */
#define IDD_USER_INFO               220
#define IDD_HARVIN_MAIN             221
#define IDI_HARVIN                  108

/* Controls of the main dialog. */
#define IDC_STATUS_LIST             1000
#define IDC_START_COLLECTION        1001
#define IDC_STATUS_LINE             1025
#define IDC_PROGRESS                1058
/* Button 1 (IDOK) cancels a run or closes the program. */

/* Controls of the user information dialog. */
#define IDC_USER_COMPANY            1034
#define IDC_USER_NAME               1035
#define IDC_USER_THIRD              1037
#define IDC_EXTENDED_COLLECTION     3
#define IDC_LABEL_THIRD             1067
#define IDC_REMOVE_PERSONAL_DATA    399  /* check box: a redacted collection */

/* Numbered texts. The comment names each text's role and, for a format, the
   arguments it takes in order: s = text, d = integer, c = character,
   f = floating-point number. */
#define IDS_MODE_EXTENDED           1    /* value of start-page row 12 in extended mode */
#define IDS_CONFIRM_CANCEL          5    /* question before cancelling a run (Yes cancels) */
#define IDS_NT4_REFUSED             7    /* message before ending on Windows NT 4 */
#define IDS_STATUS_STARTUP_REGISTRY 8
#define IDS_STATUS_WINDOWS_FOLDER   9
#define IDS_STATUS_NETWORK_REGISTRY 10
#define IDS_BUTTON_CANCEL           11   /* button 1 while collecting (40 bytes) */
#define IDS_BUTTON_CLOSE            12   /* button 1 after collecting (40 bytes) */
#define IDS_STATUS_EXPLORER         13
#define IDS_STATUS_CONNECTIONS      14
#define IDS_STATUS_SERVICES_REGISTRY 15
#define IDS_COLLECTION_COMPLETE     16   /* final message box text */
#define IDS_STATUS_INTERNET_EXPLORER 17
#define IDS_FMT_HOME_PATH           18   /* format: s (home path) */
#define IDS_FMT_REPORT_LOCATION     19   /* format: s (file name), s (folder) */
#define IDS_LABEL_INSTALL_FOLDER    20   /* start page product row label */
#define IDS_STATUS_WINLOGON         21
#define IDS_STATUS_MISCELLANEOUS    22
#define IDS_APP_TITLE               23   /* main window title, finds a running instance */
#define IDS_STATUS_RECOVERY_1       24
#define IDS_LABEL_PRODUCT           25   /* start page product row label */
#define IDS_STATUS_DRIVER_SERVICES  26
#define IDS_STATUS_RECOVERY_2       27
#define IDS_STATUS_DIVERSE_REGISTRY 28
#define IDS_STATUS_RECOVERY_3       29
#define IDS_STATUS_RECOVERY_4       31
#define IDS_STATUS_RECOVERY_5       33
#define IDS_STATUS_MGMT_AGENT       35
#define IDS_STATUS_MGMT_SERVER      36
#define IDS_STATUS_MGMT_FRONTEND    37
#define IDS_STATUS_UPDATE_MANAGER   38
#define IDS_STATUS_PORTAL           40
#define IDS_STATUS_FILE_SERVER      41
#define IDS_STATUS_MAIL_SERVER      43
#define IDS_STATUS_SERVICE_LIST     45
#define IDS_FMT_DRIVE               46   /* format: c (drive letter) */
#define IDS_STATUS_SCANNER          47
#define IDS_STATUS_CANCELLED        49   /* announced when a run is cancelled while packing */
#define IDS_STATUS_ARCHIVE_DONE     55   /* announced when the archive is complete */
#define IDS_STATUS_SYSTEM_INFO      177
#define IDS_STATUS_DRIVES           178
#define IDS_STATUS_ENVIRONMENT      179
#define IDS_STATUS_SYSTEM_FILES     180
#define IDS_STATUS_PROCESSES        181
#define IDS_STATUS_DIRECTORIES      182
#define IDS_STATUS_EVENTLOG_SYSTEM  183
#define IDS_STATUS_EVENTLOG_APPLICATION 184
#define IDS_STATUS_EVENTLOG_SECURITY 185
#define IDS_FMT_DESKTOP_COPY_FAILED 187  /* format: s (archive path) */
#define IDS_STATUS_DRIVER_FOLDER    188
#define IDS_STATUS_DRIVER_FILES     189
#define IDS_FMT_REPORT_FINISHED     193  /* format: s (file name) */
#define IDS_FMT_PACKING             198  /* format: s (file name), s (archive name) */
#define IDS_FMT_ARCHIVE_FAILED      199  /* format: s (file name) */
#define IDS_FMT_ARCHIVE_PROGRESS    201  /* format: d (KiB of the current file) */
#define IDS_FMT_STEP_COUNTER        202  /* format: d, d */
#define IDS_FMT_FILE_COUNTER        203  /* format: d */
#define IDS_FMT_DESKTOP_UNAVAILABLE 204  /* format: s (text 205 or 206) */
#define IDS_REASON_NO_PROFILE       205
#define IDS_REASON_NO_COM           206
#define IDS_REPORT_TITLE            209  /* report title (64 bytes) */
#define IDS_STATUS_MINIDUMPS        212
#define IDS_STATUS_DESKTOP_PRODUCT  213
#define IDS_STATUS_SYSTEM_FILE_VERSIONS 214
#define IDS_FILE_IN_USE             221  /* message before ending when a file in use is met */
#define IDS_STATUS_MSINFO_MISSING   222
#define IDS_STATUS_STARTUP_FOLDERS  227
#define IDS_FMT_LARGE_FILE          228  /* format: s (file name), f (limit in MiB), f (size in MiB) */
#define IDS_FOLDER_BROWSER_TITLE    231  /* folder browser title (200 bytes) */
#define IDS_FMT_OUTPUT_PATH_TOO_LONG 240 /* format: s (folder that cannot hold the output) */
#define IDS_FMT_OUTPUT_ROOT_IS_LINK 241  /* format: s (output folder taken by a link) */
#define IDS_FOLDER_BROWSER_TITLE_NO_FOLDER 242 /* folder browser title when the program folder is unusable (200 bytes) */
#define IDS_FMT_COMPLETE_NOT_ON_DESKTOP 243 /* final message when the desktop copy failed; format: s (archive path) */
#define IDS_STATUS_ARCHIVE_INCOMPLETE 244 /* announced instead of text 55 when the archive lacks something */
#define IDS_FMT_COMPLETE_NO_ARCHIVE 245 /* final message when no archive exists; format: s (report folder) */
#define IDS_FMT_OUTPUT_NOT_WRITABLE 246  /* format: s (folder the tree cannot be written to) */
#define IDS_COMMAND_LINE_HELP       247  /* "/?": the options and exit codes (1,000 bytes) */
#define IDS_FMT_SUMMARY_FAILED      248  /* format: s (file name of the summary) */
#define IDS_STATUS_WMI_SUBSCRIPTIONS 315
#define IDS_STATUS_BROWSER_EXTENSIONS 316
#define IDS_STATUS_FINDINGS         330
#define IDS_FINDINGS_HEADING        331  /* start page block, Findings.html title, final message name */
#define IDS_FINDINGS_NONE           332
#define IDS_SEVERITY_PROBLEM        333
#define IDS_SEVERITY_WARNING        334
#define IDS_SEVERITY_NOTE           335
#define IDS_FINDING_FOUND           336  /* the result of a check */
#define IDS_FINDING_NOT_FOUND       337
#define IDS_FINDING_NOT_AVAILABLE   338
#define IDS_FINDINGS_COLUMN_SEVERITY 339  /* column heads of Findings.html */
#define IDS_FINDINGS_COLUMN_CHECK   340
#define IDS_FINDINGS_COLUMN_RESULT  341
#define IDS_FINDINGS_COLUMN_DETAILS 342
#define IDS_FINDING_SERVICE_STOPPED 343  /* titles of the checks */
#define IDS_FINDING_OTHER_SECURITY  344
#define IDS_FINDING_GENERATIONS     345
#define IDS_FINDING_DISK_SPACE      346
#define IDS_FINDING_RECENT_CRASH    347
#define IDS_FINDING_REBOOT_PENDING  348
#define IDS_FINDING_LAYERED_PROVIDERS 349
#define IDS_FINDING_PRODUCT_ERRORS  350
#define IDS_FINDING_NOT_ELEVATED    351
#define IDS_FINDING_STATE_NOT_RUNNING 352  /* evidence texts */
#define IDS_FINDING_STATE_DISABLED  353
#define IDS_FINDING_KIND_ANTIVIRUS  354
#define IDS_FINDING_KIND_FIREWALL   355
#define IDS_FMT_FINDING_GENERATIONS 356  /* format: s (product), s (older key), s (current key) */
#define IDS_FMT_FINDING_DISK_SPACE  357  /* format: s (drive), s (free), s (size), s (free share) */
#define IDS_FMT_FINDING_CRASH_DUMPS 358  /* format: d (count), s (time of the newest) */
#define IDS_FMT_FINDING_ERROR_EVENTS 359  /* format: s (event source), d (count) */
#define IDS_FINDING_PAGES_INCOMPLETE 360
#define IDS_FINDING_NO_SERVICE_MANAGER 361  /* why a check could not decide */
#define IDS_FMT_FINDING_SERVICE_UNREADABLE 362  /* format: s (service) */
#define IDS_FINDING_NO_SECURITY_CENTER 363
#define IDS_FINDING_NO_DISK_SPACE   364
#define IDS_FINDING_NO_WINDOWS_FOLDER 365
#define IDS_FINDING_NO_PROVIDER_LIST 366
#define IDS_FMT_FINDING_LOG_NOT_READ 367  /* format: s (event log) */
#define IDS_FMT_FINDING_NO_ANSWER   368  /* format: d (seconds) */
#define IDS_FINDING_REGISTRY_UNREADABLE 369
#define IDS_FMT_FINDINGS_PROBLEMS   370  /* final message addition; format: d (problems found) */
#define IDS_STATUS_SCHEDULED_TASKS  300
#define IDS_STATUS_USERS_REGISTRY   301
#define IDS_STATUS_EXECUTION_HOOKS  302
#define IDS_MODE_STANDARD           260  /* value of start-page row 12 in a standard collection */
#define IDS_FMT_FOLDER_WALK_LIMIT   261  /* format: s (folder), d (folders walked) */
#define IDS_FMT_UNATTENDED_LARGE_FILE 262 /* format: s (file name), f (size in MiB), d (limit in MiB) */
#define IDS_FMT_OLD_TREE_NOT_REMOVED 270 /* format: s (folder of an earlier tree that stayed) */
#define IDS_FMT_FOREIGN_OUTPUT_OWNER 271 /* format: s (folder owned by another account) */
#define IDS_FMT_OPTION_IGNORED      272  /* format: s (a path option as written) */
#define IDS_LABEL_REDACTED          390  /* start page row label of a redacted collection */
#define IDS_REDACTED_USERS          391  /* 391-398: the kinds of data a redacted collection replaced, */
#define IDS_REDACTED_COMPUTERS      392  /* in this order (the value of row 390) */
#define IDS_REDACTED_DOMAINS        393
#define IDS_REDACTED_OWNER          394
#define IDS_REDACTED_ORGANIZATION   395
#define IDS_REDACTED_IP_ADDRESSES   396
#define IDS_REDACTED_MAC_ADDRESSES  397
#define IDS_REDACTED_SERIALS        398
#define IDS_NOT_ADMINISTRATOR       1059 /* warning with Yes to go on, No to stop */
#define IDS_LABEL_COMPANY           1064
#define IDS_LABEL_NAME              1065
#define IDS_LABEL_THIRD             1067 /* also the label in the user information dialog */
#define IDS_LABEL_TIME              1068
#define IDS_LABEL_TIME_ZONE         1069
#define IDS_LABEL_OUTPUT_FOLDER     1070
#define IDS_LABEL_COLLECTION_MODE   1071
#define IDS_EVENTLOG_NOTE_1         1073
#define IDS_EVENTLOG_NOTE_2         1074

#endif
