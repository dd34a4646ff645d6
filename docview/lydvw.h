/* The contract between the document-view control and its viewing engine (liblydvw.so).
 * The engine makes a view as a child of a host widget, answers numbered requests and reports back through a
 * notification callback. C only: both sides link the same system Qt 6, but share no C++ types. */
#ifndef DOCVIEW_LYDVW_H
#define DOCVIEW_LYDVW_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bumped on every incompatible change; the control refuses an engine whose LydvwAbiVersion() differs. */
#define LYDVW_ABI_VERSION 3u

/* The engine's library file, looked up in the folder the registry names. */
#define LYDVW_LIBRARY_NAME "liblydvw.so"

/* One view of one document. Opaque to the control. */
typedef struct LydvwView LydvwView;

/* Notifications (LYDVW_N_*) and the status message reach the control only through this callback, only on the
 * thread that made the view; the callback may send requests back before it returns. The result is the
 * notification's answer (e.g. 24 from ViewThisFile, 1 from ContextMenu). */
typedef int64_t (*LydvwNotifyFn)(void* context, uint32_t notification, uint64_t wparam, uint64_t lparam);

/* Status callback registered with VWSetStatCallback: called in long steps (loading, rendering), on the view's
 * thread; its result is what the host answered (the Stat event's value). */
typedef int32_t (*LydvwStatFn)(LydvwView* view);

/* ---- Exports (looked up by name with dlsym) ---- */

/* uint32_t LydvwAbiVersion(void): LYDVW_ABI_VERSION of the engine's build. */
typedef uint32_t (*LydvwAbiVersionFn)(void);
/* LydvwView* LydvwCreateView(void* parent_qwidget, LydvwNotifyFn notify, void* context): a view whose widget
 * is a child of the given QWidget*, or null when it cannot be made. The widget is shown with its parent. */
typedef LydvwView* (*LydvwCreateViewFn)(void* parent_qwidget, LydvwNotifyFn notify, void* context);
/* int64_t LydvwRequest(LydvwView*, uint32_t request, uint64_t wparam, uint64_t lparam): one request
 * (LYDVW_R_*); lparam is as a rule the address of a record in the caller's memory whose first 32-bit field is
 * its size. The answer is 0 or an engine error id (LYDVW_E_*) unless the request says otherwise below. */
typedef int64_t (*LydvwRequestFn)(LydvwView* view, uint32_t request, uint64_t wparam, uint64_t lparam);
/* void* LydvwViewWidget(LydvwView*): the view's QWidget*, for geometry and focus only. */
typedef void* (*LydvwViewWidgetFn)(LydvwView* view);
/* void LydvwDestroyView(LydvwView*): closes the document (deleting a delete-on-close file) and destroys the
 * widget. Called once per view. */
typedef void (*LydvwDestroyViewFn)(LydvwView* view);
/* void LydvwFree(void*): frees a block the engine handed out (raw text, copies). Null is allowed. */
typedef void (*LydvwFreeFn)(void* block);
/* void VWSetStatCallback(LydvwStatFn fn, LydvwView* view, int32_t reserved): registers (or, with null,
 * removes) the status callback of a view; reserved is 0. */
typedef void (*LydvwSetStatCallbackFn)(LydvwStatFn fn, LydvwView* view, int32_t reserved);

/* ---- Requests ---- */
enum {
    LYDVW_R_CLOSE = 2025,             /* none */
    LYDVW_R_COPY = 2028,              /* none; the selection in the formats of ToClipboard (LYDVW_CLIP_*) */
    LYDVW_R_IDLE_BITMAP = 2029,       /* answers LYDVW_E_UNSUPPORTED: Linux libraries carry no bitmaps */
    LYDVW_R_FILE_INFO = 2034,         /* LydvwFileInfo */
    LYDVW_R_CLIP_INFO = 2037,         /* none; the answer is the value: 1 (text) with text selected, else 0 */
    LYDVW_R_SEARCH = 2041,            /* LydvwSearch or LydvwSearchWide (see Search below) */
    LYDVW_R_SEARCH_NEXT = 2042,       /* wparam direction */
    LYDVW_R_ENGINE_NAME = 2043,       /* LydvwEngineName */
    LYDVW_R_PRINT_DIALOG = 2049,      /* none: the print dialog, then the print */
    LYDVW_R_PRINTER_SETUP = 2050,     /* none: the page-setup dialog; nonzero when cancelled */
    LYDVW_R_SELECT_ALL = 2052,        /* none; LYDVW_E_NOT_FOUND when nothing shown has text */
    LYDVW_R_SEARCH_DIALOG = 2055,     /* LydvwSearch */
    LYDVW_R_PRINT = 2064,             /* LydvwPrint */
    LYDVW_R_ADD_ANNOTATION = 2066,    /* wparam kind (LYDVW_ANN_*), lparam record by kind */
    LYDVW_R_CLEAR_ANNOTATIONS = 2067, /* wparam 0 (all) or a match flag (LYDVW_MATCH_*), lparam id */
    LYDVW_R_GOTO_ANNOTATION = 2068,   /* wparam find type | match flag, lparam id criterion */
    LYDVW_R_SET_OPTION = 2074,        /* LydvwOptionBlock */
    LYDVW_R_GET_OPTION = 2075,        /* LydvwOptionBlock */
    LYDVW_R_VIEW_FILE = 2076,         /* LydvwViewFile */
    LYDVW_R_DRAW_PAGE = 2077,         /* LydvwDrawPage */
    LYDVW_R_INIT_DRAW = 2078,         /* none; LYDVW_E_NO_FILE without a document */
    LYDVW_R_END_DRAW = 2081,          /* none */
    LYDVW_R_OPTIONS_DIALOG = 2082,    /* lparam dialog id (LYDVW_DLG_*) */
    LYDVW_R_IDLE = 2083,              /* none */
    LYDVW_R_RAW_TEXT = 2085,          /* LydvwRawText */
    LYDVW_R_FIND_ANNOTATION = 2086,   /* LydvwFindAnnotation */
    LYDVW_R_GET_POSITION = 2087,      /* position record */
    LYDVW_R_POSITION_COUNT = 2088,    /* position-count record */
    LYDVW_R_SET_SELECTION = 2089,     /* selection record */
    LYDVW_R_SHOW_POSITION = 2090,     /* show-position record */
    LYDVW_R_COPY_RANGE = 2091,        /* LydvwCopyRange */
    LYDVW_R_HIGHLIGHT_STYLE = 2092,   /* LydvwHighlightStyle */
    LYDVW_R_HSCROLL = 2093,           /* wparam operation (LYDVW_SCROLL_*), lparam position */
    LYDVW_R_VSCROLL = 2094,           /* wparam operation (LYDVW_SCROLL_*), lparam position */
    LYDVW_R_COMPARE_POSITIONS = 2095, /* lparam address of two position addresses; the answer is <0, 0, >0 */
    LYDVW_R_ANNOTATION_DATA = 2101,   /* LydvwAnnotationData */
    LYDVW_R_DRAW_INFO = 2104,         /* LydvwDrawInfo */
    LYDVW_R_FIRST = 2025,
    LYDVW_R_LAST = 2104
};

/* ---- Notifications (through LydvwNotifyFn) ---- */
enum {
    LYDVW_N_SEL_CHANGE = 2129,
    LYDVW_N_ENGINE_CHANGE = 2131,
    LYDVW_N_VIEW_THIS_FILE = 2133, /* lparam: LydvwViewThisFile*; answer 24 to take the file over */
    LYDVW_N_FILE_CHANGE = 2134,    /* lparam bit 0: closed; bit 2: another document follows */
    LYDVW_N_ANNOTATION = 2136,     /* lparam: LydvwAnnotationEvent* */
    LYDVW_N_OPTION_CHANGE = 2137,  /* lparam option id */
    LYDVW_N_DO_HELP = 2138,        /* lparam low 16 bits: dialog id (15002 to 15011) */
    LYDVW_N_CONTEXT_MENU = 2139,   /* lparam x low word, y high word; answer 1: the engine shows no menu */
    LYDVW_N_ENABLE_APP = 2140,     /* lparam enable */
    LYDVW_N_VSCROLL_POS = 2141,
    LYDVW_N_VSCROLL_PAGE = 2142,
    LYDVW_N_VSCROLL_RANGE = 2143, /* low word, high word */
    LYDVW_N_VSCROLL_STATE = 2144,
    LYDVW_N_HSCROLL_POS = 2145,
    LYDVW_N_HSCROLL_PAGE = 2146,
    LYDVW_N_HSCROLL_RANGE = 2147,
    LYDVW_N_HSCROLL_STATE = 2148,
    LYDVW_N_KEYDOWN = 2149,  /* lparam key code */
    LYDVW_N_RAW_TEXT = 2152, /* lparam text offset */
    LYDVW_N_ERROR = 2153,    /* lparam engine error id */
    LYDVW_N_READ_AHEAD_DONE = 2154,
    LYDVW_N_STAT = 20001 /* status message, sent by the control's own status callback */
};

/* ---- Engine answers (string ids of the control's table) ---- */
enum {
    LYDVW_E_OK = 0,
    LYDVW_E_DONT_VIEW = 4,     /* the data is no known format and the fallback is "Don't View" */
    LYDVW_E_NO_WINDOW = 5,     /* the view's widget was deleted from outside */
    LYDVW_E_MISSING = 7,       /* no such file */
    LYDVW_E_DAMAGED = 9,       /* a known format, but damaged */
    LYDVW_E_EMPTY = 10,        /* an empty file */
    LYDVW_E_ENCRYPTED = 11,    /* protected by a password */
    LYDVW_E_NO_MEMORY = 13,    /* a block for the host could not be had */
    LYDVW_E_KIND = 14,         /* a known kind the engine does not show (archives, folders...) */
    LYDVW_E_ARGUMENT = 15,     /* a record or argument the engine cannot take */
    LYDVW_E_NO_FILE = 16,      /* no document is open */
    LYDVW_E_UNSUPPORTED = 17,  /* a request the engine does not carry out */
    LYDVW_E_PRINT = 18,        /* the printer is unknown, or its scheduler refused or lost the job */
    LYDVW_E_CANCELLED = 20,    /* the user cancelled a dialog */
    LYDVW_E_LAST_PAGE = 22,    /* the page just drawn is the document's last: a success */
    LYDVW_E_NO_PAGE = 23,      /* the document has no such page (or a print range none of its pages) */
    LYDVW_E_NOT_FOUND = 25,    /* no such item (a position method it does not know, text past the end) */
    LYDVW_E_RAW_TEXT_OFF = 26, /* raw text asked while the system flags' raw-text bit is clear */
    LYDVW_E_PRINT_BUSY = 29,   /* another print of the view is still running */
    LYDVW_E_ABORTED = 32       /* the host's abort callback stopped the print */
};

/* ---- Display engine types (LydvwEngineName.type) ---- */
enum {
    LYDVW_TYPE_NONE = 1, /* nothing open */
    LYDVW_TYPE_TEXT = 2,
    LYDVW_TYPE_IMAGE = 7,
    LYDVW_TYPE_WORDPROC = 8, /* a word-processor document shown as a page naming it */
    LYDVW_TYPE_PDF = 9
};

/* ---- Engine file ids ---- */
enum {
    /* Text encodings, the fallback formats' engine ids. */
    LYDVW_FI_TEXT_1252 = 4002, /* Windows-1252, the default fallback */
    LYDVW_FI_DONT_VIEW = 4006, /* fallback: refuse data of no known format */
    LYDVW_FI_TEXT_FIRST = 4000,
    LYDVW_FI_TEXT_LAST = 4014,
    LYDVW_FI_TEXT_UTF8 = 1116,
    LYDVW_FI_TEXT_UTF16 = 1117,
    LYDVW_FI_ASK_ENGINE = 1170, /* a fallback put that asks the engine (option 0x53BC4) */
    /* Formats the engine recognises by content. */
    LYDVW_FI_PDF = 1500,
    LYDVW_FI_PNG = 1501,
    LYDVW_FI_JPEG = 1502,
    LYDVW_FI_GIF = 1503,
    LYDVW_FI_BMP = 1504,
    LYDVW_FI_TIFF = 1505,
    LYDVW_FI_IMAGE_OTHER = 1506,
    LYDVW_FI_OLE_DOC = 1520, /* OLE compound document */
    LYDVW_FI_OOXML_DOC = 1521,
    LYDVW_FI_ODF_DOC = 1522,
    LYDVW_FI_RTF = 1523,
    LYDVW_FI_ZIP = 1540, /* archives: refused with LYDVW_E_KIND */
    LYDVW_FI_GZIP = 1541,
    LYDVW_FI_TAR = 1542
};

/* ---- Options dialogs (LYDVW_R_OPTIONS_DIALOG): 0 when the user confirmed, LYDVW_E_CANCELLED when not.
 * Options the user changed are reported each with LYDVW_N_OPTION_CHANGE before the request returns. ---- */
enum { LYDVW_DLG_DISPLAY = 0x83A9D, LYDVW_DLG_PRINT = 0x83A9A, LYDVW_DLG_CLIPBOARD = 0x83AA2 };

/* ---- Printing (LYDVW_R_PRINT). The engine prints the open document through the toolkit's print support,
 * on the host's printer device (LYDVW_PRINT_TO_DEVICE) or on the scheduler's printer named in the record
 * (empty: the default one). Print options the record does not carry are the engine's options: what to
 * print (0x5277C: LYDVW_WHAT_*), the first and last page of a range (0x5277D, 0x5277E, from 1), whether
 * the document's own page settings apply (0x52782), the job's title (0x5277B; empty: the record's). ---- */
enum {
    LYDVW_PRINT_TO_DEVICE = 0x01,     /* on printer_device, the host's printer */
    LYDVW_PRINT_DIALOG_OPTION = 0x20, /* carried as dialog_option and as option 0x52775 */
    LYDVW_PRINT_ABORT_CALLBACK = 0x80 /* abort is set */
};
enum { LYDVW_WHAT_ALL = 1, LYDVW_WHAT_SELECTION = 2, LYDVW_WHAT_RANGE = 3 };
enum { LYDVW_OPT_PRINT_DIALOGS = 0x52775 };

/* Called before every page with printer_dc and 0; an answer of 0 stops the print, which the engine then
 * answers with LYDVW_E_ABORTED. */
typedef int32_t (*LydvwAbortFn)(void* context, uint32_t dc, int32_t error);

typedef struct LydvwPrint {
    uint32_t size;       /* 560 */
    uint32_t flags;      /* LYDVW_PRINT_* and the host's own bits */
    uint64_t window;     /* the control's QWidget* (the engine's dialogs go over its own view, inside it) */
    uint32_t printer_dc; /* the host's device handle as it gave it */
    uint32_t reserved0;
    uint64_t printer_device;  /* the QPrinter* behind printer_dc (the control resolves it), or null; it keeps
                               * its own paper, copies and collation */
    char printer_name[128];   /* Windows-1252, terminated */
    char printer_port[128];   /* passed, unused */
    char printer_driver[128]; /* passed, unused */
    uint32_t selection;       /* 1: print only the selection, as text in the print font */
    uint32_t setup_dialog;    /* 1: the print dialog first */
    uint32_t abort_dialog;    /* 1: a progress dialog with Cancel while printing */
    uint32_t dialog_option;   /* bit 5 of flags, 0 or 1 */
    uint32_t start_doc_done;  /* 1: the host has begun painting on printer_device; the engine adds pages */
    char job_name[40];        /* "Job" */
    int32_t margins[4];       /* twips: top, bottom, left, right */
    char font_face[32];       /* the print font of text */
    uint16_t font_half_points;
    uint16_t padding;
    uint64_t abort;         /* LydvwAbortFn, or 0 */
    uint64_t abort_context; /* passed back to abort: the control that made this record */
    uint32_t collate;
    int32_t copies;
    uint32_t reserved[2];
} LydvwPrint;

/* ---- Scroll operations (LYDVW_R_HSCROLL, LYDVW_R_VSCROLL: wparam). The answer is 0, or LYDVW_E_ARGUMENT
 * for an operation that does not apply (horizontally only 3 to 7 do); the new position comes as the
 * scroll-position notification. ---- */
enum {
    LYDVW_SCROLL_LINE_BACK = 1,
    LYDVW_SCROLL_LINE_ON = 2,
    LYDVW_SCROLL_PAGE_BACK = 3,
    LYDVW_SCROLL_PAGE_ON = 4,
    LYDVW_SCROLL_START = 5,
    LYDVW_SCROLL_END = 6,
    LYDVW_SCROLL_TO = 7, /* lparam: the position */
    LYDVW_SCROLL_PREVIOUS_PAGE = 10,
    LYDVW_SCROLL_NEXT_PAGE = 11
};

/* ---- Search (LYDVW_R_SEARCH with either record, LYDVW_R_SEARCH_DIALOG with the 8-bit one, whose fields are
 * then the dialog's first values; LYDVW_R_SEARCH_NEXT with wparam a direction). A match lies within one page
 * (a text is one page) and becomes the selection, with a selection-change notification, and is brought into
 * view. Answers: 0 found; LYDVW_E_NOT_FOUND when nothing (more) matches, as searches do not wrap;
 * LYDVW_E_NO_FILE with nothing open; LYDVW_E_ARGUMENT for a record or code the engine cannot take. The
 * dialog answers as its last search did, or LYDVW_E_CANCELLED when the user closed it without searching. ----
 */
enum { LYDVW_SEARCH_ANY_CASE = 1, LYDVW_SEARCH_MATCH_CASE = 2 }; /* type */
/* From: the document's start (its end going backward); the selection (what follows it going forward, what
 * precedes it going backward; without one, as from the start); the page at the top of the view (its start, or
 * its end going backward). */
enum { LYDVW_SEARCH_FROM_TOP = 1, LYDVW_SEARCH_FROM_SELECTION = 2, LYDVW_SEARCH_FROM_PAGE = 4 };
/* Direction; LYDVW_SEARCH_SAME only with LYDVW_R_SEARCH_NEXT: the last search's. Search next goes on from the
 * selection, so a match the user moved away from is not found again. */
enum { LYDVW_SEARCH_SAME = 0, LYDVW_SEARCH_FORWARD = 1, LYDVW_SEARCH_BACKWARD = 2 };
typedef struct LydvwSearch {
    uint32_t size;   /* 92 */
    char text[80];   /* Windows-1252, terminated within the field */
    uint16_t length; /* characters of the text */
    uint16_t type;
    uint16_t from;
    uint16_t direction;
} LydvwSearch;
typedef struct LydvwSearchWide {
    uint32_t size;     /* 172 */
    uint16_t text[80]; /* UTF-16, terminated within the field */
    uint16_t length;
    uint16_t type;
    uint16_t from;
    uint16_t direction;
} LydvwSearchWide;

/* ---- Zoom and full screen (set option). The bitmap options act on images, the vector options on PDF pages,
 * each while a document of its kind is shown; a document opened after starts at its fit mode again. ---- */
enum {
    LYDVW_OPT_BMP_ZOOM = 0x5284A,        /* LydvwZoom */
    LYDVW_OPT_BMP_FULL_SCREEN = 0x5284B, /* 32-bit 0 or 1; Escape in the full-screen view returns */
    LYDVW_OPT_BMP_ZOOM_TYPE = 0x5284C,   /* 16-bit LYDVW_ZOOM_* */
    LYDVW_OPT_VEC_ZOOM = 0x528A4,
    LYDVW_OPT_VEC_FULL_SCREEN = 0x528A5,
    LYDVW_OPT_VEC_ZOOM_TYPE = 0x528A6
};
/* A custom zoom: each direction's percentage of the natural size (an image's pixels, a page's points at the
 * screen's resolution) as a fraction. */
typedef struct LydvwZoom {
    int32_t x;
    int32_t x_base; /* 100 */
    int32_t y;
    int32_t y_base; /* 100 */
} LydvwZoom;
enum {
    LYDVW_ZOOM_WHOLE_PAGE = 1,
    LYDVW_ZOOM_FIT_WIDTH = 2,
    LYDVW_ZOOM_FIT_HEIGHT = 3,
    LYDVW_ZOOM_ACTUAL = 4
};

/* ---- Records. Field order as the control's interface gives it, size first; addresses are 64-bit. ---- */

/* Set and get option (2074, 2075). 24 bytes: the data address is 64-bit. */
enum { LYDVW_OPT_CURRENT = 2, LYDVW_OPT_DEFAULT = 1 };
typedef struct LydvwOptionBlock {
    uint32_t size; /* 24 */
    uint32_t option;
    uint32_t flags;
    uint32_t reserved;
    uint64_t data; /* address of the value in the caller's memory */
} LydvwOptionBlock;

/* Data of the three font options. */
enum { LYDVW_FONT_UNDERLINE = 1, LYDVW_FONT_ITALIC = 2, LYDVW_FONT_BOLD = 4, LYDVW_FONT_STRIKE = 8 };
typedef struct LydvwFontRecord {
    char face[40]; /* Windows-1252, terminated within the field */
    uint16_t half_points;
    uint16_t attributes;
    uint16_t reserved;
} LydvwFontRecord;

/* Data of option 0x52A33. Leads with its size, so the engine tells the whole record
 * (size 732) from the lone flag that a put of IntlFlag sends (LydvwIntlFlag, size 8). */
typedef struct LydvwIntlRecord {
    uint32_t size; /* 732 */
    uint32_t intl_flag;
    char month_names[220];
    char abbrev_month_names[220];
    char day_names[120];
    char abbrev_day_names[120];
    char decimal_sep[2];
    char thousands_sep[2];
    char date_sep[2];
    char time_sep[2];
    char currency[9];
    char am[9];
    char pm[9];
    char padding;
    uint32_t currency_position;
    uint32_t short_date_order;
} LydvwIntlRecord;
typedef struct LydvwIntlFlag {
    uint32_t size; /* 8 */
    uint32_t intl_flag;
} LydvwIntlFlag;

/* Data of options 0x52AFB and 0x52AFA: each slot one name of at most 16 characters, terminated. */
typedef struct LydvwMonthNames {
    char full[13][32];
    char abbrev[13][32];
} LydvwMonthNames;
typedef struct LydvwDayNames {
    char full[7][32];
    char abbrev[7][32];
} LydvwDayNames;

/* Data of option 0x1272E. */
typedef struct LydvwResourceId {
    uint32_t size; /* 12 */
    char text[8];
} LydvwResourceId;

/* View a file (2076). 304 bytes: the address of the file name is 64-bit. */
enum { LYDVW_SPEC_ANSI = 2, LYDVW_SPEC_WIDE = 4, LYDVW_SPEC_REDIRECT = 13 };
typedef struct LydvwViewFile {
    uint32_t size; /* 304 */
    uint32_t spec_type;
    uint64_t spec;    /* 8-bit path (UTF-8 on disk), char16_t path, or the redirect record */
    uint32_t view_as; /* 0, or an engine file id 4000 to 4012 other than 4006 */
    uint32_t use_display_name;
    char display_name[260];
    uint32_t delete_on_close;
    uint8_t reserved[16];
} LydvwViewFile;

/* File information (2034). All bytes but the size are zero on the way in. */
typedef struct LydvwFileInfo {
    uint32_t size; /* 608 */
    char display_name[260];
    uint32_t file_id;
    char file_id_name[80];
    char file_name[260];
} LydvwFileInfo;

/* Engine name and type (2043). */
typedef struct LydvwEngineName {
    uint32_t size; /* 144 */
    char name[136];
    uint32_t type;
} LydvwEngineName;

/* ViewThisFile notification (2133): a file the engine asks the host to open (e.g. one dropped on it). */
typedef struct LydvwViewThisFile {
    uint32_t size; /* 24 */
    uint32_t reserved;
    uint16_t kind; /* 1 or 2: 8-bit text, 4: char16_t text, else an opaque record */
    uint16_t reserved2;
    uint32_t reserved3;
    uint64_t spec;
} LydvwViewThisFile;

/* A place in the open document (16 bytes). The engine's own terms: the page (from 0) and the character
 * offset within that page's text; change_id is the document the position belongs to (the engine's count of
 * documents opened), extra_id is 0. */
typedef struct LydvwPosition {
    int32_t change_id;
    int32_t extra_id;
    int32_t page;
    int32_t offset;
} LydvwPosition;

/* Get a position (2087). Methods 5 and 6 are the selection's anchor and end; an engine without them answers
 * 25, and 1 and 2 then ask for the selection's first and last place. */
enum {
    LYDVW_POS_SELECTION_FIRST = 1,
    LYDVW_POS_SELECTION_LAST = 2,
    LYDVW_POS_SELECTION_ANCHOR = 5,
    LYDVW_POS_SELECTION_END = 6
};
typedef struct LydvwGetPosition {
    uint32_t size; /* 40 */
    uint32_t method;
    LydvwPosition start;
    LydvwPosition result; /* written by the engine */
} LydvwGetPosition;

/* Positions and counts (2088): kind 1 gives the position `count` characters from the document's start,
 * kind 2 the count of a position. */
enum { LYDVW_COUNT_TO_POSITION = 1, LYDVW_POSITION_TO_COUNT = 2 };
typedef struct LydvwPositionCount {
    uint32_t size; /* 28 */
    uint32_t kind;
    LydvwPosition position;
    int32_t count;
} LydvwPositionCount;

/* Set the selection (2089). */
typedef struct LydvwSelection {
    uint32_t size; /* 36 */
    LydvwPosition anchor;
    LydvwPosition end;
} LydvwSelection;

/* Show a position (2090). */
typedef struct LydvwShowPosition {
    uint32_t size; /* 24 */
    uint32_t display_options;
    LydvwPosition position;
} LydvwShowPosition;

/* ---- Text for the host: copies of a range (2091) and the raw text (2085) come in a block the engine
 * allocates and the control frees with LydvwFree. A block holds its stated bytes and a terminator of one
 * unit after them. ---- */

/* Copy formats (LydvwCopyRange.format): 8-bit text in Windows-1252, characters it lacks written as the
 * UnmappableChar option gives; rich text (RTF, 7-bit) in the font of option 0x529CE (ClipFont). */
enum { LYDVW_COPY_TEXT = 1, LYDVW_COPY_RICH_TEXT = 2 };
typedef struct LydvwCopyRange {
    uint32_t size; /* 56 */
    uint32_t reserved;
    uint32_t format;
    LydvwPosition start; /* either end may come first */
    LydvwPosition end;
    uint32_t block_size; /* written: bytes of text in block, the terminator not counted */
    uint64_t block;      /* written */
} LydvwCopyRange;

/* Raw text: the document's characters as positions count them, served only while bit 0 of the system flags
 * (option 0x52A32, SystemRawText) is set, else LYDVW_E_RAW_TEXT_OFF. The answer is the piece holding the
 * wanted character: at most 4096 characters of one page, starting at piece_offset. With bit 4 (SystemUnicode)
 * the text is UTF-16LE, else Windows-1252 as in LYDVW_COPY_TEXT. Past the end: LYDVW_E_NOT_FOUND. */
enum { LYDVW_CHARSET_1252 = 1252, LYDVW_CHARSET_UTF16LE = 1200 };
typedef struct LydvwRawText {
    uint32_t size; /* 40 */
    uint32_t reserved;
    uint32_t offset;       /* the character wanted, counted from the document's start */
    uint32_t length;       /* written: characters (units) in the piece */
    uint64_t block;        /* written */
    uint32_t byte_length;  /* written: bytes of text in block, the terminator not counted */
    uint32_t char_set;     /* written: LYDVW_CHARSET_* */
    uint32_t piece_offset; /* written: the piece's first character, counted from the document's start */
    uint32_t unit_width;   /* written: bytes per character, 1 or 2 */
} LydvwRawText;

/* Clipboard formats, the bits of option 0x529CD (ToClipboard) that LYDVW_R_COPY offers: selected text as
 * plain text ("text/plain") and as rich text ("text/rtf", and "text/html" for programs that take no RTF) in
 * the font of option 0x529CE; the page of a shown image as a bitmap (BMP or DIB: Qt's image formats).
 * Metafiles (0x400) and palettes (0x200) have no form here and are not offered. With nothing to offer the
 * clipboard is left alone. */
enum { LYDVW_CLIP_TEXT = 0x1, LYDVW_CLIP_RICH_TEXT = 0x2, LYDVW_CLIP_BMP = 0x80, LYDVW_CLIP_DIB = 0x100 };

/* ---- Annotations (2066, 2067, 2068, 2086, 2092, 2101) ----
 * Annotations belong to the document they were added to and go with it. Each carries the host's id (which
 * need not be unique) and a token the control issued for its host data; the engine hands the token back
 * from a find and never reads host data itself. Ranges are ordered by the engine; inserted text and pictures
 * stand at one position. */
enum {
    LYDVW_ANN_HIGHLIGHT = 1,
    LYDVW_ANN_ICON = 2,
    LYDVW_ANN_HIDE = 3,
    LYDVW_ANN_BITMAP = 4,
    LYDVW_ANN_INSERT = 5
};
/* Ids with these bits name annotations of the engine's own two kinds. */
#define LYDVW_ANN_OWN_KIND_A 0x84000000u
#define LYDVW_ANN_OWN_KIND_B 0x82000000u
/* The events a highlight or picture reports (its event field is a mask of them), as the code of
 * LydvwAnnotationEvent. */
enum { LYDVW_ANN_EVENT_CLICK = 1, LYDVW_ANN_EVENT_DOUBLE_CLICK = 2 };

/* Highlight style word: bit 30 set: a style defined with 2092 (its id in the low 30 bits). Otherwise the
 * foreground colour index (0 to 15) in bits 4 to 7 unless bit 29 says there is none, and the background
 * index in bits 0 to 3 unless bit 28 says there is none. */
#define LYDVW_STYLE_DEFINED 0x40000000u
#define LYDVW_STYLE_NO_FOREGROUND 0x20000000u
#define LYDVW_STYLE_NO_BACKGROUND 0x10000000u

/* Add a highlight (kind 1). */
typedef struct LydvwAddHighlight {
    uint32_t size; /* 60 */
    uint32_t id;
    LydvwPosition start;
    LydvwPosition end;
    uint32_t events;
    uint32_t token;
    uint32_t reserved[2];
    uint32_t style; /* the style word */
} LydvwAddHighlight;

/* Hide a range (kind 3): its characters are blanked where they stand, so positions do not move. */
typedef struct LydvwAddHidden {
    uint32_t size; /* 48 */
    uint32_t id;
    LydvwPosition start;
    LydvwPosition end;
    uint32_t reserved;
    uint32_t token;
} LydvwAddHidden;

/* Insert text (kind 5): shown at the position, over the document, without moving its text. */
typedef struct LydvwAddInsertText {
    uint32_t size; /* 40 */
    uint32_t id;
    LydvwPosition position;
    uint32_t token;
    uint32_t length; /* characters at text; at most LYDVW_INSERT_TEXT_MAX */
    uint64_t text;   /* char16_t, not terminated; copied by the engine */
} LydvwAddInsertText;
#define LYDVW_INSERT_TEXT_MAX 65536u

/* A picture (kind 2 icon, 4 bitmap) at a position: 32-bit 0xAARRGGBB pixels, rows of `width`, copied by
 * the engine. */
typedef struct LydvwAddPicture {
    uint32_t size; /* 64 */
    uint32_t id;
    LydvwPosition position;
    uint32_t reserved[4];
    uint32_t events;
    uint32_t token;
    uint32_t width;  /* 1 to LYDVW_PICTURE_SIDE_MAX */
    uint32_t height; /* 1 to LYDVW_PICTURE_SIDE_MAX */
    uint64_t pixels;
} LydvwAddPicture;
#define LYDVW_PICTURE_SIDE_MAX 4096u

/* Clear (2067) and find (2086, 2068): how the id criterion is matched. A find type (1 first, 2 next after
 * the search position, 3 previous before it, 4 last) goes with it; without a search position next is the
 * first and previous the last. Go to (2068) searches from the selection's start, selects the annotation
 * and shows it. Nothing found: LYDVW_E_NOT_FOUND. */
enum {
    LYDVW_FIND_FIRST = 1,
    LYDVW_FIND_NEXT = 2,
    LYDVW_FIND_PREVIOUS = 3,
    LYDVW_FIND_LAST = 4,
    LYDVW_MATCH_MASK = 0x1000,
    LYDVW_MATCH_EXACT = 0x2000
};
typedef struct LydvwFindAnnotation {
    uint32_t size; /* 72 */
    uint32_t find_type;
    LydvwPosition search; /* all zero: none */
    uint32_t criterion;
    /* LYDVW_MATCH_MASK: the id holds all bits of the criterion; LYDVW_MATCH_EXACT: equals it. */
    uint32_t match;
    /* Written by the engine: */
    uint32_t id;
    LydvwPosition start;
    LydvwPosition end;
    uint32_t token; /* 0 for an annotation of the engine's own kinds */
} LydvwFindAnnotation;

/* Define a highlight style (2092). Colours are 0x00BBGGRR; attributes as LYDVW_FONT_*. */
typedef struct LydvwHighlightStyle {
    uint32_t size; /* 24 */
    int32_t style; /* greater than 0 */
    uint32_t options;
    uint32_t foreground;
    uint32_t background;
    uint16_t attributes;
    uint16_t reserved;
} LydvwHighlightStyle;

/* Data of an annotation of the engine's own kinds (2101): UTF-8 text, terminated within buffer_size bytes. */
#define LYDVW_ANNOTATION_DATA_MAX 2048u
typedef struct LydvwAnnotationData {
    uint32_t size; /* 32 */
    uint32_t id;
    uint32_t buffer_size;
    uint32_t has_type; /* written: 1 when data_type is set */
    uint32_t data_type;
    uint32_t reserved;
    uint64_t buffer;
} LydvwAnnotationData;

/* Annotation notification (2136). */
typedef struct LydvwAnnotationEvent {
    uint32_t size; /* 12 */
    uint32_t code; /* LYDVW_ANN_EVENT_* */
    uint32_t id;
} LydvwAnnotationEvent;

/* ---- Page drawing (2077, 2104): one page of the open document onto a paint device of the host's ----
 * Devices are QPaintDevice* addresses (a picture, an image, a printer); one that a painter is already active
 * on is drawn through that painter. Pages count from 0. The format is the page the host lays out on:
 * format_width by format_height in 1/units_per_inch inch. It stands for the target rectangle (the output
 * device's coordinates), each axis scaled on its own. Text is laid out on the format; a PDF page or an image
 * keeps its own size on it, made smaller to fit a smaller format, at the top left. The page is laid on white.
 * Answers: 0; LYDVW_E_LAST_PAGE when the page drawn is the last; LYDVW_E_NO_PAGE beyond the last;
 * LYDVW_E_NO_FILE without a document; LYDVW_E_ARGUMENT for a record it cannot take. */
typedef struct LydvwRect {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;
} LydvwRect;
/* What the control puts in LydvwDrawPage.flags for its picture members; DrawPageEx passes its own flags. The
 * engine draws the same for all. */
enum {
    LYDVW_DRAW_LAYOUT = 0,           /* a page laid out on the way to the one asked for */
    LYDVW_DRAW_METAFILE_SKIPPED = 8, /* the same, of the picture members */
    LYDVW_DRAW_METAFILE = 9,
    LYDVW_DRAW_ENHANCED_SKIPPED = 10,
    LYDVW_DRAW_ENHANCED = 11
};
/* DrawPageEx's flag: the host keeps the palette the engine writes back. */
enum { LYDVW_DRAW_KEEP_PALETTE = 1 };
typedef struct LydvwDrawPage {
    uint32_t size; /* 80 */
    int32_t page;
    uint32_t layout_only; /* 1: a page on the way to another, whose drawing is thrown away: none is needed */
    uint32_t flags;
    int32_t units_per_inch;
    int32_t format_width;
    int32_t format_height;
    LydvwRect target;
    LydvwRect result; /* written: where the page went, in the target's coordinates */
    uint32_t palette; /* in the host's, written back the page's: 0, there are no palettes */
    uint64_t output;  /* QPaintDevice* */
    uint64_t format;  /* QPaintDevice* the host lays out for, or 0 */
} LydvwDrawPage;

/* Page information (2104): the page's own format in 1/units_per_inch inch. A text page's is the format
 * device's paper when it is a paged device (a printer), else US Letter. */
typedef struct LydvwDrawInfo {
    uint32_t size; /* 40 */
    int32_t units_per_inch;
    int32_t page;
    int32_t format_width;  /* written */
    int32_t format_height; /* written */
    uint32_t reserved;
    uint64_t output; /* QPaintDevice* */
    uint64_t format; /* QPaintDevice*, or 0 */
} LydvwDrawInfo;

/* ---- Redirected input (LydvwViewFile.spec_type 13): a document the host serves itself ----
 * The control hands the engine this record in LydvwViewFile.spec; the engine reads the document only
 * through its entries, each taking the record first and answering 0 for success or a failure code. The
 * engine calls close exactly once for every record it was handed (also when it refuses the document) and
 * never uses the record afterwards. The host side carries 32-bit offsets: seek64 answers -1 for an offset
 * that does not fit, and tell64 reports what the 32-bit tell gives. Seek's `from`: 0 the start, 1 the
 * current position, 2 the end. */
typedef struct LydvwRedirect LydvwRedirect;
enum { LYDVW_SEEK_SET = 0, LYDVW_SEEK_CUR = 1, LYDVW_SEEK_END = 2 };
/* Get-info ids: 3 and 6 text into `buffer`; 14 a number; 15 and 19 a second file of the document, named by
 * `name`, answered as a path in `buffer` (spec_type 2) or as a further record in `spec` (spec_type 13). */
enum {
    LYDVW_INFO_TEXT = 3,
    LYDVW_INFO_TEXT2 = 6,
    LYDVW_INFO_NUMBER = 14,
    LYDVW_INFO_SECOND = 15,
    LYDVW_INFO_SECOND2 = 19
};
typedef struct LydvwRedirectInfo {
    uint32_t size; /* 40 */
    uint32_t number;
    uint64_t name;        /* 8-bit (UTF-8), terminated */
    uint32_t spec_type;   /* written: 2 for a path, 13 for a record */
    uint32_t buffer_size; /* bytes at buffer, the terminator included */
    uint64_t buffer;      /* the engine's text or path buffer */
    uint64_t spec;        /* written: the record of an answer of spec_type 13 */
} LydvwRedirectInfo;
struct LydvwRedirect {
    uint32_t size; /* 88 */
    uint32_t reserved;
    int32_t (*close)(LydvwRedirect* record);
    int32_t (*read)(LydvwRedirect* record, void* buffer, uint32_t size, uint32_t* count);
    int32_t (*write)(LydvwRedirect* record, const void* buffer, uint32_t size, uint32_t* count);
    int32_t (*seek)(LydvwRedirect* record, int32_t from, int32_t offset);
    int32_t (*tell)(LydvwRedirect* record, uint32_t* offset);
    int32_t (*get_info)(LydvwRedirect* record, uint32_t id, void* info);
    void* unused; /* null */
    int32_t (*seek64)(LydvwRedirect* record, int32_t from, int64_t offset);
    int32_t (*tell64)(LydvwRedirect* record, int64_t* offset);
    void* context; /* the control's own */
};

#ifdef __cplusplus
}

static_assert(sizeof(LydvwOptionBlock) == 24 && offsetof(LydvwOptionBlock, data) == 16);
static_assert(sizeof(LydvwFontRecord) == 46 && offsetof(LydvwFontRecord, half_points) == 40 &&
              offsetof(LydvwFontRecord, attributes) == 42);
static_assert(sizeof(LydvwIntlRecord) == 732 && offsetof(LydvwIntlRecord, month_names) == 8 &&
              offsetof(LydvwIntlRecord, decimal_sep) == 688 && offsetof(LydvwIntlRecord, currency) == 696 &&
              offsetof(LydvwIntlRecord, padding) == 723 &&
              offsetof(LydvwIntlRecord, currency_position) == 724 &&
              offsetof(LydvwIntlRecord, short_date_order) == 728);
static_assert(sizeof(LydvwIntlFlag) == 8);
static_assert(sizeof(LydvwMonthNames) == 832 && sizeof(LydvwDayNames) == 448);
static_assert(sizeof(LydvwResourceId) == 12);
static_assert(sizeof(LydvwViewFile) == 304 && offsetof(LydvwViewFile, spec) == 8 &&
              offsetof(LydvwViewFile, view_as) == 16 && offsetof(LydvwViewFile, display_name) == 24 &&
              offsetof(LydvwViewFile, delete_on_close) == 284);
static_assert(sizeof(LydvwFileInfo) == 608 && offsetof(LydvwFileInfo, file_id) == 264 &&
              offsetof(LydvwFileInfo, file_id_name) == 268 && offsetof(LydvwFileInfo, file_name) == 348);
static_assert(sizeof(LydvwEngineName) == 144 && offsetof(LydvwEngineName, type) == 140);
static_assert(sizeof(LydvwViewThisFile) == 24 && offsetof(LydvwViewThisFile, kind) == 8 &&
              offsetof(LydvwViewThisFile, spec) == 16);
static_assert(sizeof(LydvwAnnotationEvent) == 12);
static_assert(sizeof(LydvwCopyRange) == 56 && offsetof(LydvwCopyRange, start) == 12 &&
              offsetof(LydvwCopyRange, block_size) == 44 && offsetof(LydvwCopyRange, block) == 48);
static_assert(sizeof(LydvwRawText) == 40 && offsetof(LydvwRawText, block) == 16 &&
              offsetof(LydvwRawText, unit_width) == 36);
static_assert(sizeof(LydvwPrint) == 560 && offsetof(LydvwPrint, printer_device) == 24 &&
              offsetof(LydvwPrint, printer_name) == 32 && offsetof(LydvwPrint, selection) == 416 &&
              offsetof(LydvwPrint, job_name) == 436 && offsetof(LydvwPrint, margins) == 476 &&
              offsetof(LydvwPrint, font_face) == 492 && offsetof(LydvwPrint, abort) == 528 &&
              offsetof(LydvwPrint, collate) == 544);
static_assert(sizeof(LydvwAddHighlight) == 60 && offsetof(LydvwAddHighlight, token) == 44 &&
              offsetof(LydvwAddHighlight, style) == 56);
static_assert(sizeof(LydvwAddHidden) == 48 && offsetof(LydvwAddHidden, token) == 44);
static_assert(sizeof(LydvwAddInsertText) == 40 && offsetof(LydvwAddInsertText, text) == 32);
static_assert(sizeof(LydvwAddPicture) == 64 && offsetof(LydvwAddPicture, events) == 40 &&
              offsetof(LydvwAddPicture, pixels) == 56);
static_assert(sizeof(LydvwFindAnnotation) == 72 && offsetof(LydvwFindAnnotation, id) == 32 &&
              offsetof(LydvwFindAnnotation, token) == 68);
static_assert(sizeof(LydvwHighlightStyle) == 24 && offsetof(LydvwHighlightStyle, attributes) == 20);
static_assert(sizeof(LydvwAnnotationData) == 32 && offsetof(LydvwAnnotationData, buffer) == 24);
static_assert(sizeof(LydvwPosition) == 16 && sizeof(LydvwGetPosition) == 40 &&
              offsetof(LydvwGetPosition, result) == 24);
static_assert(sizeof(LydvwPositionCount) == 28 && offsetof(LydvwPositionCount, count) == 24);
static_assert(sizeof(LydvwSelection) == 36 && offsetof(LydvwSelection, end) == 20);
static_assert(sizeof(LydvwShowPosition) == 24 && offsetof(LydvwShowPosition, position) == 8);
static_assert(sizeof(LydvwRect) == 16);
static_assert(sizeof(LydvwDrawPage) == 80 && offsetof(LydvwDrawPage, layout_only) == 8 &&
              offsetof(LydvwDrawPage, flags) == 12 &&
              offsetof(LydvwDrawPage, target) == 28 && offsetof(LydvwDrawPage, result) == 44 &&
              offsetof(LydvwDrawPage, palette) == 60 && offsetof(LydvwDrawPage, output) == 64 &&
              offsetof(LydvwDrawPage, format) == 72);
static_assert(sizeof(LydvwDrawInfo) == 40 && offsetof(LydvwDrawInfo, format_width) == 12 &&
              offsetof(LydvwDrawInfo, output) == 24 && offsetof(LydvwDrawInfo, format) == 32);
static_assert(sizeof(LydvwSearch) == 92 && offsetof(LydvwSearch, length) == 84 &&
              offsetof(LydvwSearch, direction) == 90);
static_assert(sizeof(LydvwSearchWide) == 172 && offsetof(LydvwSearchWide, length) == 164 &&
              offsetof(LydvwSearchWide, direction) == 170);
static_assert(sizeof(LydvwZoom) == 16);
static_assert(sizeof(LydvwRedirectInfo) == 40 && offsetof(LydvwRedirectInfo, buffer) == 24 &&
              offsetof(LydvwRedirectInfo, spec) == 32);
static_assert(sizeof(LydvwRedirect) == 88 && offsetof(LydvwRedirect, close) == 8 &&
              offsetof(LydvwRedirect, seek64) == 64 && offsetof(LydvwRedirect, context) == 80);
#endif

#endif /* DOCVIEW_LYDVW_H */
