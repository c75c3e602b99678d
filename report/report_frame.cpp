#include "report/report_frame.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
#include "info/redaction_run.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "report/findings_page.h"
#include "report/page_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <share.h>
#include <string>

time_t (*ReportClock)() = [] { return time(nullptr); };

namespace {

const char kFramesetDoctype[] =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Frameset//EN\" "
    "\"http://www.w3.org/TR/html4/frameset.dtd\">\n";

const char kEmptyCell20[] = "\t\t<td width = \"20%\">&nbsp;</td>\n";
const char kEmptyCell60[] = "\t\t<td width = \"60%\">&nbsp;</td>\n";
const char kRowStart[] = "\t\t<tr>\n";
const char kRowEnd[] = "\t\t</tr>\n\n";

// Where in START.html the user's details begin: the findings block goes there
// when the run has evaluated them. 0 while no start page was written.
long g_userDetailsOffset = 0;
// START.html is small; anything beyond this is not ours to rewrite.
constexpr long kLargestStartPage = 4 * 1024 * 1024;

bool FramePath(const char* name, char (&path)[kPathSize]) { return JoinPath(path, OutputRoot, name); }

// The frame files are filtered value by value as they are written (the
// user's own entries are not): the sweep over the tree leaves them.
FILE* OpenFrameFile(const char* name, const char* mode)
{
    char path[kPathSize];
    if (!FramePath(name, path)) return nullptr;
    NoteRedactedFile(path);
    return _fsopen(path, mode, _SH_DENYNO);
}

// INDEX.html and START.html are the report's entry: without them there is no
// report. This runs on the worker thread, so the process ends directly
// instead of tearing the C runtime down under the running dialog.
[[noreturn]] void EndProgramCannotCreate(const char* name)
{
    printf("Fehler beim Anlegen von %s\n", name);
    fflush(stdout);
    ExitProcess(1);
}

struct tm LocalOrZero(time_t now)
{
    struct tm result {};
    if (const struct tm* t = localtime(&now)) result = *t;
    return result;
}

struct tm UtcOrZero(time_t now)
{
    struct tm result {};
    if (const struct tm* t = gmtime(&now)) result = *t;
    return result;
}

void BeginRow(FILE* f) { fputs(kRowStart, f); }
void EndRow(FILE* f) { fputs(kRowEnd, f); }

// Whether a row's value is the machine's data, which a redacted run filters,
// or what the person typed or the program itself says, which it keeps.
enum class RowValue { Machine, Kept };

// The value is data (the user's entries, a folder, a product's name): text, not markup.
void LabelRow(FILE* f, const char* label, const char* value, RowValue kind)
{
    const std::string shown = kind == RowValue::Machine ? RedactedAnsi(value) : std::string(value);
    BeginRow(f);
    fputs(kEmptyCell20, f);
    fprintf(f, "\t\t<td width = \"20%%\">%s:</td>\n", label);
    fprintf(f, "\t\t<td width = \"60%%\"><strong>%s</strong></td>\n", HtmlText<kPathSize>(shown.c_str()).c_str());
    EndRow(f);
}

void LabelRowFromId(FILE* f, unsigned labelId, const char* value, RowValue kind = RowValue::Machine)
{
    char label[kPathSize];
    LoadResourceText(labelId, label);
    LabelRow(f, label, value, kind);
}

void SpacerRow(FILE* f)
{
    BeginRow(f);
    fputs(kEmptyCell20, f);
    fputs(kEmptyCell20, f);
    fputs(kEmptyCell60, f);
    EndRow(f);
}

void TimeRow(FILE* f, const char* labelFormat, const char* label, const struct tm& t)
{
    BeginRow(f);
    fputs(kEmptyCell20, f);
    fprintf(f, labelFormat, label);
    fprintf(f, "\t\t<td width = \"60%%\"><strong>%02d.%02d.%04d, %02d:%02d:%02d</strong></td>\n", t.tm_mday,
            t.tm_mon + 1, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    EndRow(f);
}

// The kinds of data a redacted run replaced, in the language of the dialog;
// never the words themselves.
void RedactionRow(FILE* f)
{
    const RedactionMap* map = ActiveRedaction();
    if (map == nullptr) return;
    char kinds[kPathSize] = "";
    for (unsigned kind = 0; kind < kRedactionKindCount; ++kind) {
        if (!(map->KindsReplaced() & (1u << kind))) continue;
        char text[kPathSize];
        LoadResourceText(IDS_REDACTED_USERS + kind, text);
        if (kinds[0] != '\0') AppendText(kinds, ", ");
        AppendText(kinds, text);
    }
    LabelRowFromId(f, IDS_LABEL_REDACTED, kinds[0] != '\0' ? kinds : "-", RowValue::Kept);
    SpacerRow(f);
}

// Rows 1 to 3: spacer, title and version, tall spacer.
void WriteTitleRows(FILE* f)
{
    SpacerRow(f);

    BeginRow(f);
    fputs(kEmptyCell20, f);
    fprintf(f,
            "\t\t<td colspan = \"2\" width = \"80%%\">&nbsp;&nbsp;<h1>Support Information File<br>Version: "
            "&nbsp;&nbsp; %s</h1></td>\n",
            ProgramVersion);
    EndRow(f);

    BeginRow(f);
    fputs(kEmptyCell20, f);
    fputs("\t\t<td width = \"20%\">&nbsp;<br>&nbsp;</td>\n", f);
    fputs("\t\t<td width = \"60%\">&nbsp;<br>&nbsp;</td>\n", f);
    EndRow(f);
}

// Rows 4 to 14: the user's details, the times, the mode and the output folder.
void WriteDetailRows(FILE* f, time_t now)
{
    LabelRowFromId(f, IDS_LABEL_COMPANY, UserInfo.company, RowValue::Kept);
    LabelRowFromId(f, IDS_LABEL_NAME, UserInfo.name, RowValue::Kept);
    LabelRowFromId(f, IDS_LABEL_THIRD, UserInfo.third, RowValue::Kept);
    SpacerRow(f);

    char timeLabel[kPathSize];
    LoadResourceText(IDS_LABEL_TIME, timeLabel);
    TimeRow(f, "\t\t<td width = \"20%%\">%s (LOC):</td>\n", timeLabel, LocalOrZero(now));
    TimeRow(f, "\t\t<td width = \"20%%\">%s (GMT):</td>\n", timeLabel, UtcOrZero(now));
    LabelRowFromId(f, IDS_LABEL_TIME_ZONE, _tzname[0]);
    SpacerRow(f);

    // The value is the text whose id equals the mode; a standard run has its own.
    char mode[kPathSize] = "";
    LoadResourceText(ExtendedCollection != 0 ? static_cast<unsigned>(ExtendedCollection) : IDS_MODE_STANDARD, mode);
    LabelRowFromId(f, IDS_LABEL_COLLECTION_MODE, mode, RowValue::Kept);
    SpacerRow(f);
    LabelRowFromId(f, IDS_LABEL_OUTPUT_FOLDER, OutputBase);
}

}  // namespace

void CreateNaviFile()
{
    char path[kPathSize];
    if (!FramePath("NAVI.html", path)) return;
    DeleteFileA(path);
    NaviFontSize = -1;
    time_t now = ReportClock();
    struct tm local = LocalOrZero(now);
    FILE* navi = _fsopen(path, "w", _SH_DENYNO);
    if (navi == nullptr) return;
    NoteRedactedFile(path);  // its head holds the user's own entries; its lines are filtered as added
    fputs(kFramesetDoctype, navi);
    fputs("<HTML>", navi);
    WriteCharsetMeta(navi);
    fprintf(navi,
            "<BODY BGCOLOR=#FFFFFF>\n<BODY TEXT=#000000>\n<TT>\n<B>\n<FONT face=\"Arial\" color=#000000 "
            "size=\"2\">\n<h2>Norvane Support Information File</h2><a href= \"%s\" target=\"Inhalt\">\nName: "
            "%s\n<br>\nCompany: %s\n<br>\nTime, Date (LOC): %02d.%02d.%04d, %02d:%02d:%02d\n</a></FONT>\n<BR><BR>\n"
            "<FONT face=\"Arial\" color=#000000 size=%d>\n",
            "START.html", HtmlText<sizeof UserInfo.name>(UserInfo.name).c_str(),
            HtmlText<sizeof UserInfo.company>(UserInfo.company).c_str(), local.tm_mday, local.tm_mon + 1, local.tm_year + 1900,
            local.tm_hour, local.tm_min, local.tm_sec, 2);
    fclose(navi);
}

void FinishNaviFile()
{
    FILE* navi = OpenFrameFile("NAVI.html", "a");
    if (navi == nullptr) return;
    fputs("</TT></BODY></HTML>", navi);
    fclose(navi);
}

void WriteIndexPage()
{
    FILE* index = OpenFrameFile("INDEX.html", "w");
    if (index == nullptr) EndProgramCannotCreate("INDEX.html");
    char title[64];
    LoadResourceText(IDS_REPORT_TITLE, title);
    fputs(kFramesetDoctype, index);
    fputs("<html>\n<head>\n", index);
    WriteCharsetMeta(index);
    fprintf(index, "<title>%s - %s</title>\n", title, HtmlText<sizeof UserInfo.name>(UserInfo.name).c_str());
    fputs("</head>\n", index);
    fputs("  <frameset cols=\"280,*\">\n", index);
    fprintf(index, "    <frame src= \"%s\" name=\"Navigation\">\n", "NAVI.html");
    fprintf(index, "    <frame src=\"%s\" name=\"Inhalt\">\n", "START.html");
    fputs("  <noframes>\n", index);
    fputs("    Ihr Browser kann diese Seite leider nicht anzeigen!\n", index);
    fputs("  </noframes>\n", index);
    fputs("</html>\n", index);
    fclose(index);
}

void WriteStartPage()
{
    FILE* start = OpenFrameFile("START.html", "w");
    if (start == nullptr) EndProgramCannotCreate("START.html");
    _tzset();
    time_t now = ReportClock();
    char title[64];
    LoadResourceText(IDS_REPORT_TITLE, title);
    fputs(kFramesetDoctype, start);
    fputs("<html>\n<head>\n", start);
    WriteCharsetMeta(start);
    fprintf(start, "<title>%s</title>\n", title);
    fputs("</head>\n<body>\n", start);
    fputs("\t\t<font face=\"Arial\" size = \"3\">\n", start);
    fputs("\t\t<table border = \"0\" width = \"100%\">\n\n", start);
    WriteTitleRows(start);
    // On disk, line ends and all: the offset is where the findings go later.
    g_userDetailsOffset = fflush(start) == 0 ? ftell(start) : 0;
    WriteDetailRows(start, now);
    // Left open on purpose: the product rows follow it.
    fputs("\t\t<tr>\n", start);
    fclose(start);
}

void AddStartPageProductRows(const char* productName, const char* installFolder)
{
    FILE* start = OpenFrameFile("START.html", "a");
    if (start == nullptr) {
        printf("Fehler beim anh\xE4ngen von %s\n", "START.html");
        return;
    }
    LabelRowFromId(start, IDS_LABEL_PRODUCT, productName);
    LabelRowFromId(start, IDS_LABEL_INSTALL_FOLDER, installFolder);
    fclose(start);
}

namespace {

// A row of the findings block: an empty first column and `cells`.
std::string BlockRow(const std::string& cells) { return kRowStart + std::string(kEmptyCell20) + cells + kRowEnd; }

std::string FindingsBlock(const std::vector<FindingRow>& found)
{
    char heading[kPathSize] = "";
    char none[kPathSize] = "";
    LoadResourceText(IDS_FINDINGS_HEADING, heading);
    LoadResourceText(IDS_FINDINGS_NONE, none);
    std::string block = BlockRow("\t\t<td colspan = \"2\" width = \"80%\"><h2>" + HtmlString(heading) + "</h2></td>\n");
    if (found.empty()) block += BlockRow("\t\t<td colspan = \"2\" width = \"80%\">" + HtmlString(none) + "</td>\n");
    for (const FindingRow& row : found) {
        std::string severity = "<strong>" + HtmlString(row.severity) + "</strong>";
        if (row.colour != nullptr) severity = std::string("<font color=\"") + row.colour + "\">" + severity + "</font>";
        block += BlockRow("\t\t<td width = \"20%\">" + severity + "</td>\n\t\t<td width = \"60%\">" +
                          LinkOpen(row.page) + HtmlString(row.title) + LinkClose(row.page) + "<br>" +
                          HtmlString(row.detail) + "</td>\n");
    }
    return block + kRowStart + kEmptyCell20 + kEmptyCell20 + kEmptyCell60 + kRowEnd;
}

// The text-mode line ends of the rest of the page.
std::string WithCrLf(const std::string& text)
{
    std::string result;
    for (char c : text) {
        if (c == '\n') result += '\r';
        result += c;
    }
    return result;
}

bool ReadWholeFile(const char* path, std::string* bytes)
{
    FILE* file = _fsopen(path, "rb", _SH_DENYNO);
    if (file == nullptr) return false;
    char buffer[8192];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0 && bytes->size() <= kLargestStartPage) {
        bytes->append(buffer, got);
    }
    const bool read = !ferror(file) && bytes->size() <= kLargestStartPage;
    fclose(file);
    return read;
}

bool WriteWholeFile(const char* path, const std::string& bytes)
{
    FILE* file = _fsopen(path, "wb", _SH_DENYNO);
    if (file == nullptr) return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

}  // namespace

bool AddStartPageFindings(const std::vector<FindingRow>& found)
{
    char path[kPathSize];
    char newPath[kPathSize];
    std::string page;
    if (g_userDetailsOffset <= 0 || !FramePath("START.html", path) || !FramePath("START.html.new", newPath) ||
        !ReadWholeFile(path, &page)) {
        return false;
    }
    // The offset must still lead to the first row of the user's details.
    const size_t at = static_cast<size_t>(g_userDetailsOffset);
    if (page.size() < at || page.compare(at, strlen(kRowStart) - 1, kRowStart, strlen(kRowStart) - 1) != 0) {
        return false;
    }
    // Written aside and then put in place: a failed write leaves the page as it was.
    page.insert(at, WithCrLf(FindingsBlock(found)));
    if (WriteWholeFile(newPath, page) && MoveFileExA(newPath, path, MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileA(newPath);
    return false;
}

void FinishStartPage()
{
    FILE* start = OpenFrameFile("START.html", "a");
    if (start == nullptr) {
        printf("Fehler beim anh\xE4ngen von %s\n", "START.html");
        return;
    }
    RedactionRow(start);
    fputs("</table>\n</font>\n</body>\n</html>\n", start);
    fclose(start);
}

void BeginProductSection(const char* subfolder, char* folder, unsigned statusTextId, const char* caption)
{
    JoinPath(folder, kPathSize, ProductBaseFolder, subfolder);
    CreateDirectoryA(folder, nullptr);
    CHarvinDlg::AnnounceStatus(statusTextId);
    AddNaviHeading(caption);
}
