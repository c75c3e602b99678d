#include "pidwalk64_format.h"

#include <cwchar>

namespace {

const char kTitle[] = "Active Processes And Modules (64Bit)";

wchar_t AsciiUpper(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - (L'a' - L'A')) : c;
}

// Position of an upper-case ASCII marker in text, ignoring letter case; -1 if absent.
ptrdiff_t FindMarker(const wchar_t* text, const wchar_t* marker)
{
    for (size_t start = 0; text[start] != L'\0'; ++start) {
        size_t k = 0;
        while (marker[k] != L'\0' && AsciiUpper(text[start + k]) == marker[k]) ++k;
        if (marker[k] == L'\0') return static_cast<ptrdiff_t>(start);
    }
    return -1;
}

// Appends src to out (holding `used` characters) without passing outChars - 1.
size_t AppendWide(wchar_t* out, size_t outChars, size_t used, const wchar_t* src)
{
    while (*src != L'\0' && used + 1 < outChars) out[used++] = *src++;
    out[used] = L'\0';
    return used;
}

bool IsControl(wchar_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Page text of a wide string in a local buffer, for one print call.
class PageText {
public:
    explicit PageText(const wchar_t* text) { ToPageText(text, bytes_, sizeof bytes_); }
    const char* c_str() const { return bytes_; }

private:
    char bytes_[kPageTextBytes];
};

}  // namespace

void NormalizeImagePath(const wchar_t* path, const wchar_t* windowsFolder,
                        wchar_t* out, size_t outChars)
{
    if (outChars == 0) return;
    out[0] = L'\0';
    if (path == nullptr) return;

    // A drive path is already what the user knows.
    if (path[0] != L'\0' && path[1] == L':') {
        AppendWide(out, outChars, 0, path);
        return;
    }

    const wchar_t* rest = path;
    if (FindMarker(path, L"\\??\\") >= 0) {
        rest = path + 4;
    } else if (path[0] == L'\\') {
        rest = path + 1;
    }

    ptrdiff_t marker = FindMarker(rest, L"SYSTEMROOT\\");
    if (marker < 0) {
        AppendWide(out, outChars, 0, rest);
        return;
    }
    size_t used = AppendWide(out, outChars, 0, windowsFolder != nullptr ? windowsFolder : L"");
    used = AppendWide(out, outChars, used, L"\\");
    AppendWide(out, outChars, used, rest + marker + wcslen(L"SYSTEMROOT\\"));
}

void CleanSystemMessage(wchar_t* text)
{
    size_t length = 0;
    while (text[length] != L'\0' && (text[length] == L'\t' || !IsControl(text[length]))) ++length;
    while (length > 0) {
        wchar_t last = text[length - 1];
        if (last != L'.' && last != L' ' && !IsControl(last)) break;
        --length;
    }
    text[length] = L'\0';
}

void GetSystemMessageText(DWORD code, wchar_t (&text)[kMessageChars])
{
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  text, static_cast<DWORD>(kMessageChars), nullptr);
    if (length == 0 || length >= kMessageChars) length = 0;
    text[length] = L'\0';
    CleanSystemMessage(text);
}

void ToPageText(const wchar_t* text, char* out, size_t outSize)
{
    if (outSize == 0) return;
    out[0] = '\0';
    if (text == nullptr) return;
    wchar_t name[kNameChars + 1];
    const size_t length = wcsnlen(text, kNameChars);
    wmemcpy(name, text, length);
    name[length] = L'\0';
    char ansi[kAnsiTextBytes];
    WideToAnsiText(name, ansi, sizeof ansi);
    CopyHtmlText(out, outSize, ansi);
}

void WriteDocumentHead(FILE* out)
{
    fputs("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
          "\"http://www.w3.org/TR/html4/loose.dtd\">\n", out);
    fputs("<html>\n<head>\n", out);
    // The page's texts are in this system's ANSI code page, as the main program's.
    char meta[100];
    FormatCharsetMeta(meta, GetACP());
    fputs(meta, out);
    fprintf(out, "<title>%s</title>\n</head>\n<body>\n", kTitle);
    fprintf(out, "<a name=\"top\"> </a><tt>\n<h2>%s</h2>\n", kTitle);
}

void WriteTableHead(FILE* out)
{
    fputs("<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=7>\n\t<tbody>\n", out);
    fputs("\t\t<tr><th>PID</th><th>Process</th><th>Path</th></tr>\n", out);
}

void WriteIdleRow(FILE* out, const wchar_t* exeName)
{
    fprintf(out, "\t\t<tr><td>0</td><td>%s</td><td>&nbsp</td></tr>\n", PageText(exeName).c_str());
}

void WriteProcessRow(FILE* out, unsigned processId, const wchar_t* exeName,
                     const wchar_t* path, bool isProtected)
{
    PageText name(exeName);
    PageText shownPath(path);
    if (isProtected) {
        fprintf(out, "\t\t<tr><td>%u</td><td>%s<br>## HIGH PROTECTED PROCESS! ##</td><td>%s</td></tr>\n",
                processId, name.c_str(), shownPath.c_str());
    } else {
        fprintf(out, "\t\t<tr><td>%u</td><td><a href=\"#%s\">%s</a></td><td>%s</td></tr>\n",
                processId, name.c_str(), name.c_str(), shownPath.c_str());
    }
}

void WriteWarningLine(FILE* out, const char* functionName, DWORD code, const wchar_t* messageText)
{
    fprintf(out, "\n  WARNING: %s failed with error %d (%s)",
            functionName, static_cast<int>(code), PageText(messageText).c_str());
}

void WriteTableTail(FILE* out)
{
    fputs("\t</tbody>\n</TABLE>\n", out);
}

void WriteModuleSectionHead(FILE* out, const wchar_t* processName)
{
    PageText name(processName);
    fprintf(out, "<br><br>\n<strong><a name=\"%s\">%s  </a>\n</strong>\n<a href=\"#top\">top</a>\n",
            name.c_str(), name.c_str());
}

void WriteModuleEntry(FILE* out, const ModuleRecord& module, const wchar_t* displayPath)
{
    char signatureLine[kSignatureTextSize + 32] = "";
    if (!module.withoutSignature) {
        char signature[kSignatureTextSize];
        FormatSignatureText(module.signature, signature, sizeof signature);
        FormatText(signatureLine, sizeof signatureLine, "Signature: %s<br>", signature);
    }
    fprintf(out,
            "<div style=\"margin-left: 40px;\"><br><strong>%s</strong><br>Path: %s<br>Version: %s"
            "<br>Description: %s<br>Vendor: %s<br>Copyright: %s<br>%s</div>\n",
            PageText(module.name).c_str(), PageText(displayPath).c_str(),
            PageText(module.version).c_str(), PageText(module.description).c_str(),
            PageText(module.company).c_str(), PageText(module.copyright).c_str(), signatureLine);
}

void WriteDocumentTail(FILE* out)
{
    fputs("\n</tt>", out);
    fputs("\n</body>\n</html>\n", out);
}
