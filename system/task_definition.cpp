#include "system/task_definition.h"

#include "platform/bounded_text.h"
#include "platform/win.h"

#include <cwchar>

namespace {

// Task definitions nest four levels; anything far deeper is not one.
constexpr size_t kMaxDepth = 32;
constexpr size_t kMaxValueChars = 4096;
constexpr size_t kMaxTriggers = 64;
constexpr size_t kMaxActions = 64;

// The pieces of well-formed XML one at a time, without recursion. Only
// elements and their text matter here; attributes, comments, processing
// instructions and declarations are stepped over.
bool IsXmlSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// A character reference's number ("38", or "x26" in hex) up to the ';'; 0
// when it is none.
unsigned long ReferenceNumber(const std::wstring& text, size_t at, size_t end)
{
    const bool hex = at < end && (text[at] == L'x' || text[at] == L'X');
    unsigned long number = 0;
    for (size_t i = at + (hex ? 1 : 0); i < end; ++i) {
        const wchar_t c = text[i];
        const int digit = c >= L'0' && c <= L'9'             ? c - L'0'
                          : hex && c >= L'a' && c <= L'f' ? c - L'a' + 10
                          : hex && c >= L'A' && c <= L'F' ? c - L'A' + 10
                                                          : -1;
        if (digit < 0 || number > 0x10FFFF) return 0;
        number = number * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    return number;
}

class XmlTokens {
public:
    enum class Token { Start, End, Text, Done, Error };

    explicit XmlTokens(const std::wstring& text) : text_(text) {}

    Token Next()
    {
        for (;;) {
            if (at_ >= text_.size()) return Token::Done;
            if (text_[at_] != L'<') return ReadText();
            if (Starts(L"<!--")) {
                if (!SkipPast(L"-->")) return Token::Error;
            } else if (Starts(L"<![CDATA[")) {
                const size_t end = text_.find(L"]]>", at_);
                if (end == std::wstring::npos) return Token::Error;
                value_ = text_.substr(at_ + 9, end - at_ - 9);
                at_ = end + 3;
                return Token::Text;
            } else if (Starts(L"<?")) {
                if (!SkipPast(L"?>")) return Token::Error;
            } else if (Starts(L"<!")) {
                if (!SkipPast(L">")) return Token::Error;
            } else {
                return ReadTag();
            }
        }
    }
    // The element's name without a namespace prefix (Start, End), or the text.
    const std::wstring& Value() const { return value_; }
    bool SelfClosing() const { return selfClosing_; }

private:
    bool Starts(const wchar_t* prefix) const { return text_.compare(at_, wcslen(prefix), prefix) == 0; }

    bool SkipPast(const wchar_t* end)
    {
        const size_t found = text_.find(end, at_);
        if (found == std::wstring::npos) return false;
        at_ = found + wcslen(end);
        return true;
    }

    Token ReadText()
    {
        const size_t end = text_.find(L'<', at_);
        value_ = Decoded(text_.substr(at_, end == std::wstring::npos ? std::wstring::npos : end - at_));
        at_ = end == std::wstring::npos ? text_.size() : end;
        return Token::Text;
    }

    Token ReadTag()
    {
        const bool closing = Starts(L"</");
        size_t at = at_ + (closing ? 2 : 1);
        const size_t nameStart = at;
        while (at < text_.size() && !IsXmlSpace(text_[at]) && text_[at] != L'/' && text_[at] != L'>') ++at;
        value_ = text_.substr(nameStart, at - nameStart);
        const size_t colon = value_.find(L':');
        if (colon != std::wstring::npos) value_.erase(0, colon + 1);
        // Attributes, whose quoted values may hold '>' and '/'.
        wchar_t quote = 0;
        for (; at < text_.size(); ++at) {
            const wchar_t c = text_[at];
            if (quote != 0) {
                if (c == quote) quote = 0;
            } else if (c == L'"' || c == L'\'') {
                quote = c;
            } else if (c == L'>') {
                break;
            }
        }
        if (at >= text_.size() || value_.empty()) return Token::Error;
        selfClosing_ = !closing && text_[at - 1] == L'/';
        at_ = at + 1;
        return closing ? Token::End : Token::Start;
    }

    // The five named entities and numeric ones; anything else stays as it is.
    static std::wstring Decoded(const std::wstring& raw)
    {
        static const struct {
            const wchar_t* name;
            wchar_t c;
        } kEntities[] = {{L"lt;", L'<'}, {L"gt;", L'>'}, {L"amp;", L'&'}, {L"quot;", L'"'}, {L"apos;", L'\''}};
        std::wstring text;
        for (size_t at = 0; at < raw.size(); ++at) {
            if (raw[at] != L'&') {
                text += raw[at];
                continue;
            }
            bool decoded = false;
            for (const auto& entity : kEntities) {
                const size_t length = wcslen(entity.name);
                if (raw.compare(at + 1, length, entity.name) == 0) {
                    text += entity.c;
                    at += length;
                    decoded = true;
                    break;
                }
            }
            const size_t semicolon = raw.find(L';', at);
            if (!decoded && at + 1 < raw.size() && raw[at + 1] == L'#' && semicolon != std::wstring::npos &&
                semicolon - at <= 10) {
                const unsigned long code = ReferenceNumber(raw, at + 2, semicolon);
                if (code > 0 && code < 0x10000) {
                    text += static_cast<wchar_t>(code);
                    at = semicolon;
                    decoded = true;
                }
            }
            if (!decoded) text += L'&';
        }
        return text;
    }

    const std::wstring& text_;
    size_t at_ = 0;
    std::wstring value_;
    bool selfClosing_ = false;
};

std::string Ansi(const std::wstring& text)
{
    const std::wstring cut = text.substr(0, kMaxValueChars);
    std::vector<char> out(2 * cut.size() + 1);
    WideToAnsiText(cut.c_str(), out.data(), out.size());
    return out.data();
}

std::wstring Trimmed(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

bool IsTrue(const std::wstring& text) { return text == L"true" || text == L"1"; }

struct Trigger {
    std::wstring type;      // the trigger's element name
    std::wstring schedule;  // a calendar trigger's ScheduleBy... element
    std::wstring start;
    std::wstring stateChange;
    bool enabled = true;
};

std::string TriggerText(const Trigger& trigger)
{
    static const struct {
        const wchar_t* element;
        const char* text;
    } kTypes[] = {{L"BootTrigger", "at boot"},
                  {L"LogonTrigger", "at logon"},
                  {L"IdleTrigger", "on idle"},
                  {L"RegistrationTrigger", "at registration"},
                  {L"EventTrigger", "on an event"},
                  {L"SessionStateChangeTrigger", "on session change"},
                  {L"TimeTrigger", "once"},
                  {L"ScheduleByDay", "daily"},
                  {L"ScheduleByWeek", "weekly"},
                  {L"ScheduleByMonth", "monthly"},
                  {L"ScheduleByMonthDayOfWeek", "monthly"},
                  {L"CalendarTrigger", "on a calendar"}};
    const std::wstring& element = trigger.schedule.empty() ? trigger.type : trigger.schedule;
    std::string text = Ansi(element);
    for (const auto& type : kTypes) {
        if (element == type.element) text = type.text;
    }
    if (!trigger.stateChange.empty()) text += " (" + Ansi(trigger.stateChange) + ")";
    if (!trigger.start.empty()) text += " from " + Ansi(trigger.start);
    if (!trigger.enabled) text += " (disabled)";
    return text;
}

// Collects the definition's parts from the elements as they end.
class DefinitionBuilder {
public:
    explicit DefinitionBuilder(TaskDefinition* definition) : definition_(definition) {}

    void Start(const std::vector<std::wstring>& path)
    {
        if (Is(path, 3, L"Triggers") && triggers_.size() < kMaxTriggers) {
            triggers_.emplace_back();
            triggers_.back().type = path[2];
        }
        if (Is(path, 4, L"Triggers") && path[3].compare(0, 10, L"ScheduleBy") == 0 && InTrigger(path)) {
            triggers_.back().schedule = path[3];
        }
        if (Is(path, 3, L"Actions") && definition_->actions.size() < kMaxActions) {
            TaskAction action;
            action.kind = path[2] == L"Exec"         ? TaskAction::Kind::Exec
                          : path[2] == L"ComHandler" ? TaskAction::Kind::ComHandler
                                                     : TaskAction::Kind::Other;
            if (action.kind == TaskAction::Kind::Other) action.command = Ansi(path[2]);
            definition_->actions.push_back(action);
            actionOpen_ = true;
        } else if (path.size() == 3) {
            actionOpen_ = false;
        }
    }

    void End(const std::vector<std::wstring>& path, const std::wstring& rawText)
    {
        const std::wstring text = Trimmed(rawText);
        if (Is(path, 3, L"RegistrationInfo")) {
            if (path[2] == L"Author") definition_->author = Ansi(text);
            if (path[2] == L"Description") definition_->description = Ansi(text);
        } else if (Is(path, 3, L"Settings")) {
            if (path[2] == L"Enabled") definition_->enabled = IsTrue(text);
            if (path[2] == L"Hidden") definition_->hidden = IsTrue(text);
        } else if (Is(path, 4, L"Triggers") && InTrigger(path)) {
            Trigger& trigger = triggers_.back();
            if (path[3] == L"StartBoundary") trigger.start = text;
            if (path[3] == L"Enabled") trigger.enabled = IsTrue(text);
            if (path[3] == L"StateChange") trigger.stateChange = text;
        } else if (Is(path, 4, L"Actions") && actionOpen_) {
            TaskAction& action = definition_->actions.back();
            if (path[3] == L"Command" || path[3] == L"ClassId") action.command = Ansi(text);
            if (path[3] == L"Arguments" || path[3] == L"Data") action.arguments = Ansi(text);
        }
    }

    void Finish()
    {
        std::string line;
        for (const Trigger& trigger : triggers_) line += (line.empty() ? "" : "; ") + TriggerText(trigger);
        definition_->triggers = line.empty() ? "none" : line;
    }

private:
    // `path` is `depth` elements long and its second is `section` (below Task).
    static bool Is(const std::vector<std::wstring>& path, size_t depth, const wchar_t* section)
    {
        return path.size() == depth && path[1] == section;
    }
    // The element belongs to the last trigger collected (not to one beyond the bound).
    bool InTrigger(const std::vector<std::wstring>& path) const
    {
        return !triggers_.empty() && triggers_.back().type == path[2];
    }

    TaskDefinition* definition_;
    std::vector<Trigger> triggers_;
    bool actionOpen_ = false;
};

}  // namespace

bool ParseTaskDefinition(const std::wstring& xml, TaskDefinition* definition)
{
    *definition = TaskDefinition();
    if (xml.size() > kMaxTaskDefinitionChars) return false;
    XmlTokens tokens(xml);
    DefinitionBuilder builder(definition);
    std::vector<std::wstring> path;
    std::wstring text;
    bool sawTask = false;
    for (;;) {
        const XmlTokens::Token token = tokens.Next();
        if (token == XmlTokens::Token::Error) return false;
        if (token == XmlTokens::Token::Done) break;
        if (token == XmlTokens::Token::Text) {
            if (text.size() < kMaxValueChars) text += tokens.Value();
            continue;
        }
        if (token == XmlTokens::Token::Start) {
            if (path.size() >= kMaxDepth || (path.empty() && (sawTask || tokens.Value() != L"Task"))) return false;
            sawTask = true;
            path.push_back(tokens.Value());
            text.clear();
            builder.Start(path);
            if (!tokens.SelfClosing()) continue;
        } else if (path.empty() || path.back() != tokens.Value()) {
            return false;  // an end tag that closes no open element
        }
        builder.End(path, text);
        path.pop_back();
        text.clear();
    }
    if (!sawTask || !path.empty()) return false;
    builder.Finish();
    return true;
}

bool DecodeTaskFile(const std::vector<char>& bytes, std::wstring& xml)
{
    xml.clear();
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    const bool utf16Mark = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
    if (utf16Mark || (size >= 2 && data[0] != 0 && data[1] == 0)) {
        for (size_t at = utf16Mark ? 2 : 0; at + 1 < size; at += 2) {
            xml += static_cast<wchar_t>(data[at] | (data[at + 1] << 8));
        }
        return true;
    }
    const size_t skip = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF ? 3 : 0;
    if (size == skip) return true;
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(size - skip), nullptr, 0);
    if (length <= 0) return false;
    xml.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(size - skip), &xml[0], length);
    return true;
}
