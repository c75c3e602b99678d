#include "info/redaction.h"

#include "platform/win.h"

#include <cstring>
#include <type_traits>

namespace {

constexpr size_t kShortestWord = 3;
constexpr size_t kLongestEntityName = 32;
constexpr size_t kLongestAddress = 64;  // units read for one address at most
// "version" as the last seven letters of a word, a byte each.
constexpr unsigned long long kVersionLetters = 0x76657273696F6EULL;

const char* const kPrefixes[kRedactionKindCount] = {"USER", "HOST", "DOMAIN", "OWNER", "ORG", "IP", "MAC", "SERIAL"};
const char* const kKindNames[kRedactionKindCount] = {"user",       "computer",    "domain",      "owner",
                                                     "organization", "ip-address", "mac-address", "serial-number"};

// Names Windows gives its own profiles, accounts and registration: they
// name no one, and replacing them would garble texts that merely contain
// them ("(Default)", "Microsoft Corporation").
const wchar_t* const kWindowsOwnNames[] = {
    L"public",  L"default",   L"default user", L"all users",    L"administrator",   L"guest",
    L"owner",   L"user",      L"users",        L"microsoft",    L"workgroup",       L"localhost",
    L"system",  L"localservice", L"networkservice", L"defaultaccount", L"wdagutilityaccount",
};

// Attributes that hold data; an anchor's name is filtered as the links to it are.
const char* const kDataAttributes[] = {"href", "src", "title", "alt", "value", "name", "id"};

inline unsigned Fold(unsigned c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }
inline bool IsDigit(unsigned c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiLetter(unsigned c) { return Fold(c) >= 'a' && Fold(c) <= 'z'; }
inline bool IsHex(unsigned c) { return IsDigit(c) || (Fold(c) >= 'a' && Fold(c) <= 'f'); }
unsigned HexValue(unsigned c) { return IsDigit(c) ? c - '0' : Fold(c) - 'a' + 10; }

// Letters and digits of any script: a word that touches one is part of a
// longer word and stays. Blanks and punctuation of the UTF-16 range end words.
inline bool IsWordUnit(unsigned c)
{
    if (c < 0x80) return IsDigit(c) || IsAsciiLetter(c);
    return c != 0xA0 && !(c >= 0x2000 && c <= 0x206F) && c != 0x3000 && c != 0xFEFF;
}

// What may follow a label before the value it names ("Version: 1.0.0.1").
bool IsLabelSeparator(unsigned c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ':' || c == '='; }

std::wstring Trimmed(const std::wstring& word)
{
    size_t first = word.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return std::wstring();
    size_t last = word.find_last_not_of(L" \t\r\n");
    return word.substr(first, last - first + 1);
}

std::wstring InCase(const std::wstring& word, bool upper)
{
    std::wstring result = word;
    if (result.empty()) return result;
    DWORD length = static_cast<DWORD>(result.size());
    if (upper) CharUpperBuffW(&result[0], length);
    else CharLowerBuffW(&result[0], length);
    return result;
}

bool IsWindowsOwnName(const std::wstring& lower)
{
    for (const wchar_t* name : kWindowsOwnNames) {
        if (lower == name) return true;
    }
    return false;
}

bool LooksLikePlaceholder(const std::wstring& lower)
{
    for (const char* prefix : kPrefixes) {
        size_t length = strlen(prefix);
        if (lower.size() <= length) continue;
        bool same = true;
        for (size_t i = 0; i < length && same; ++i) same = lower[i] == static_cast<wchar_t>(Fold(prefix[i]));
        if (!same) continue;
        bool digits = true;
        for (size_t i = length; i < lower.size() && digits; ++i) digits = IsDigit(lower[i]);
        if (digits) return true;
    }
    return false;
}

// The word in a code page; false when the code page cannot hold it.
bool InCodePage(const std::wstring& word, UINT codePage, std::string& out)
{
    const bool utf8 = codePage == CP_UTF8;
    BOOL lossy = FALSE;
    int length = WideCharToMultiByte(codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, word.data(),
                                     static_cast<int>(word.size()), nullptr, 0, nullptr, utf8 ? nullptr : &lossy);
    if (length <= 0 || lossy) return false;
    out.assign(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, word.data(), static_cast<int>(word.size()), &out[0],
                        length, nullptr, utf8 ? nullptr : &lossy);
    return !lossy;
}

// ---- addresses: units of a candidate, ending with the unit that follows it -----

// Four decimal parts without leading zeros. Not an address of a machine:
// loopback, one whose last part is 0 (a network, the unspecified address,
// and the ".0" of the versions that look like addresses) and a mask.
size_t Ipv4Length(const unsigned* u, size_t n)
{
    size_t p = 0;
    unsigned parts[4] = {};
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (u[p] != '.') return 0;
            ++p;
        }
        const size_t start = p;
        unsigned value = 0;
        while (p < n && IsDigit(u[p]) && p - start < 3) value = value * 10 + (u[p++] - '0');
        if (p == start || value > 255 || (p - start > 1 && u[start] == '0')) return 0;
        parts[k] = value;
    }
    if (IsWordUnit(u[p]) || (u[p] == '.' && IsDigit(u[p + 1]))) return 0;
    if (parts[0] == 127 || parts[3] == 0) return 0;
    const unsigned long value = (static_cast<unsigned long>(parts[0]) << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    const unsigned long hostBits = ~value & 0xFFFFFFFFUL;
    if (parts[0] == 255 && (hostBits & (hostBits + 1)) == 0) return 0;
    return p;
}

// Six or more pairs of hex digits joined by the same '-' or ':'; neither
// all zero nor all FF.
size_t MacLength(const unsigned* u, size_t n)
{
    size_t p = 0;
    unsigned separator = 0;
    int groups = 0;
    bool zero = true;
    bool ones = true;
    for (;;) {
        if (p >= n || !IsHex(u[p]) || !IsHex(u[p + 1])) return 0;
        const unsigned value = HexValue(u[p]) * 16 + HexValue(u[p + 1]);
        zero = zero && value == 0;
        ones = ones && value == 0xFF;
        p += 2;
        ++groups;
        if (groups == 1) {
            if (u[p] != '-' && u[p] != ':') return 0;
            separator = u[p];
        }
        if (u[p] == separator && p < n && IsHex(u[p + 1])) {
            ++p;
            continue;
        }
        break;
    }
    if (groups < 6 || IsWordUnit(u[p]) || zero || ones) return 0;
    return p;
}

// Groups of up to four hex digits with at most one "::"; at least one
// decimal digit ("Add::Face" is a name). Not loopback nor unspecified.
size_t Ipv6Length(const unsigned* u, size_t n)
{
    size_t p = 0;
    int groups = 0;
    int nonZero = 0;
    unsigned last = 0;
    bool compressed = false;
    bool digit = false;
    if (u[0] == ':') {
        if (u[1] != ':') return 0;
        compressed = true;
        p = 2;
    }
    for (;;) {
        const size_t start = p;
        unsigned value = 0;
        while (p < n && p - start < 4 && IsHex(u[p])) {
            digit = digit || IsDigit(u[p]);
            value = value * 16 + HexValue(u[p++]);
        }
        if (p == start) break;
        if (IsHex(u[p]) || u[p] == '.') return 0;
        ++groups;
        if (value != 0) ++nonZero;
        last = value;
        if (u[p] != ':') break;
        if (u[p + 1] == ':') {
            if (compressed) return 0;
            compressed = true;
            p += 2;
            continue;
        }
        if (!IsHex(u[p + 1])) return 0;
        ++p;
    }
    if (groups == 0 || (compressed ? groups > 7 : groups != 8) || !digit) return 0;
    if (IsWordUnit(u[p]) || u[p] == ':') return 0;
    if (nonZero == 0 || (nonZero == 1 && last == 1)) return 0;
    return p;
}

unsigned DecodeEntity(const std::string& name)
{
    if (name == "amp") return '&';
    if (name == "lt") return '<';
    if (name == "gt") return '>';
    if (name == "quot") return '"';
    if (name == "apos") return '\'';
    if (name == "nbsp") return ' ';
    if (name.size() > 1 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        unsigned long value = 0;
        for (size_t i = hex ? 2 : 1; i < name.size(); ++i) {
            const unsigned c = static_cast<unsigned char>(name[i]);
            if (hex ? !IsHex(c) : !IsDigit(c)) return '?';
            value = value * (hex ? 16 : 10) + HexValue(c);
            if (value > 0x10FFFF) return '?';
        }
        if (value == 0) return '?';
        return value == 0xA0 ? ' ' : static_cast<unsigned>(value);
    }
    return '?';  // another named entity: not a letter of a word
}

bool IsDataAttribute(const std::string& name)
{
    for (const char* data : kDataAttributes) {
        if (name == data) return true;
    }
    return false;
}

}  // namespace

const char* RedactionKindName(RedactionKind kind) { return kKindNames[static_cast<unsigned>(kind)]; }

// ---- RedactionMap ---------------------------------------------------------------

bool RedactionMap::AddWord(RedactionKind kind, const std::wstring& raw)
{
    const std::wstring word = Trimmed(raw);
    if (word.size() < kShortestWord) return false;
    const std::wstring lower = InCase(word, false);
    if (IsWindowsOwnName(lower) || LooksLikePlaceholder(lower)) return false;
    if (wordIndex_.count(lower) != 0) return false;

    const size_t index = placeholders_.size();
    placeholders_.push_back(NextPlaceholder(kind));
    wordIndex_[lower] = index;
    for (const std::wstring& form : {word, lower, InCase(word, true)}) {
        AddForm(true, std::vector<unsigned>(form.begin(), form.end()), index);
        for (UINT codePage : {static_cast<UINT>(CP_ACP), static_cast<UINT>(CP_OEMCP), static_cast<UINT>(CP_UTF8)}) {
            std::string bytes;
            if (!InCodePage(form, codePage, bytes)) continue;
            std::vector<unsigned> units;
            for (char c : bytes) units.push_back(static_cast<unsigned char>(c));
            AddForm(false, units, index);
        }
    }
    return true;
}

void RedactionMap::AddForm(bool wide, std::vector<unsigned> units, size_t word)
{
    if (units.empty()) return;
    for (unsigned& unit : units) unit = Fold(unit);
    std::vector<Form>& forms = (wide ? wideForms_ : narrowForms_)[units[0] & 0xFF];
    size_t at = 0;
    for (; at < forms.size(); ++at) {
        if (forms[at].units == units) return;
        if (forms[at].units.size() < units.size()) break;  // longest first
    }
    forms.insert(forms.begin() + static_cast<std::ptrdiff_t>(at), Form{std::move(units), word});
}

const std::vector<RedactionMap::Form>& RedactionMap::FormsStartingWith(bool wide, unsigned folded) const
{
    return (wide ? wideForms_ : narrowForms_)[folded & 0xFF];
}

const std::string& RedactionMap::PlaceholderForAddress(RedactionKind kind, const std::string& key)
{
    auto found = addresses_.find(key);
    if (found != addresses_.end()) return found->second;
    return addresses_.emplace(key, NextPlaceholder(kind)).first->second;
}

std::string RedactionMap::NextPlaceholder(RedactionKind kind)
{
    const unsigned k = static_cast<unsigned>(kind);
    kindsReplaced_ |= 1u << k;
    return kPrefixes[k] + std::to_string(++counters_[k]);
}

void RedactionMap::Clear()
{
    placeholders_.clear();
    wordIndex_.clear();
    addresses_.clear();
    for (auto& forms : narrowForms_) forms.clear();
    for (auto& forms : wideForms_) forms.clear();
    for (unsigned& counter : counters_) counter = 0;
    kindsReplaced_ = 0;
}

// ---- RedactionStream ---------------------------------------------------------------

template <typename Unit>
void RedactionStream<Unit>::Write(const Unit* text, size_t length, std::basic_string<Unit>& out)
{
    if (text == nullptr || length == 0) return;
    if (pending_.empty()) {
        text_ = text;
        size_ = length;
    } else {
        pending_.append(text, length);
        text_ = pending_.data();
        size_ = pending_.size();
    }
    const size_t done = Process(false, out);
    // Only what is undecided is kept (a copy: the piece is the caller's).
    pending_ = std::basic_string<Unit>(text_ + done, size_ - done);
}

template <typename Unit>
void RedactionStream<Unit>::Finish(std::basic_string<Unit>& out)
{
    text_ = pending_.data();
    size_ = pending_.size();
    Process(true, out);  // a final pass decides everything
    pending_.clear();
    mode_ = Mode::Text;
    before_[0] = before_[1] = ' ';
    letterCount_ = 0;
    afterVersion_ = false;
}

template <typename Unit>
inline typename RedactionStream<Unit>::Unit1 RedactionStream<Unit>::Read(size_t at, bool final) const
{
    if (at >= size_) return Unit1{0, 0, !final};
    const unsigned c = static_cast<std::make_unsigned_t<Unit>>(text_[at]);
    if (!html_ || (c != '<' && c != '&' && c != quote_)) return Unit1{c, 1, false};
    return ReadSpecial(at, final);
}

// In HTML: the end of a text or a data value (length 0), or an entity.
template <typename Unit>
typename RedactionStream<Unit>::Unit1 RedactionStream<Unit>::ReadSpecial(size_t at, bool final) const
{
    const unsigned c = static_cast<std::make_unsigned_t<Unit>>(text_[at]);
    if ((mode_ == Mode::Text && c == '<') || (mode_ == Mode::DataValue && c == quote_)) return Unit1{0, 0, false};
    if (c != '&') return Unit1{c, 1, false};
    // An entity is one character, read whole or not at all.
    std::string name;
    for (size_t end = at + 1;; ++end) {
        if (end >= size_) return final ? Unit1{'&', 1, false} : Unit1{0, 0, true};
        const unsigned d = static_cast<std::make_unsigned_t<Unit>>(text_[end]);
        if (d == ';' && !name.empty()) return Unit1{DecodeEntity(name), end + 1 - at, false};
        if (!(IsDigit(d) || IsAsciiLetter(d) || (d == '#' && name.empty())) || name.size() >= kLongestEntityName) {
            return Unit1{'&', 1, false};
        }
        name += static_cast<char>(d);
    }
}

template <typename Unit>
typename RedactionStream<Unit>::Match RedactionStream<Unit>::TryWords(size_t at, unsigned first, bool final) const
{
    Match result;
    for (const RedactionMap::Form& form : map_.FormsStartingWith(sizeof(Unit) > 1, first)) {
        size_t position = at;
        size_t k = 0;
        unsigned last = 0;
        for (; k < form.units.size(); ++k) {
            const Unit1 unit = Read(position, final);
            if (unit.more) {
                result.more = true;
                return result;
            }
            if (unit.length == 0 || Fold(unit.value) != form.units[k]) break;
            last = unit.value;
            position += unit.length;
        }
        if (k < form.units.size()) continue;
        const Unit1 after = Read(position, final);
        if (after.more) {
            result.more = true;
            return result;
        }
        if (after.length != 0 && IsWordUnit(after.value)) continue;
        result.end = position;
        result.placeholder = &map_.Placeholder(form.word);
        result.last = last;
        return result;
    }
    return result;
}

template <typename Unit>
typename RedactionStream<Unit>::Match RedactionStream<Unit>::TryAddress(size_t at, bool final)
{
    Match result;
    unsigned units[kLongestAddress + 2];
    size_t ends[kLongestAddress + 1];
    size_t count = 0;
    for (size_t position = at;;) {
        const Unit1 unit = Read(position, final);
        if (unit.more) {
            result.more = true;
            return result;
        }
        const bool alphabet = unit.length != 0 && (IsHex(unit.value) || unit.value == '.' || unit.value == ':' ||
                                                   unit.value == '-');
        if (!alphabet || count == kLongestAddress) {
            // What follows; a run too long for an address ends in a letter, so nothing in it matches.
            units[count] = !alphabet ? (unit.length != 0 ? unit.value : ' ') : 'g';
            units[count + 1] = ' ';
            break;
        }
        units[count] = unit.value;
        position += unit.length;
        ends[count++] = position;
    }
    if (count == 0) return result;

    size_t length = 0;
    RedactionKind kind = RedactionKind::Address;
    const bool afterNumber = before_[0] == '.' && IsDigit(before_[1]);
    const bool afterHexGroup = (before_[0] == ':' || before_[0] == '-' || before_[0] == '.') && IsHex(before_[1]);
    if (IsDigit(units[0]) && !afterNumber && !afterVersion_) length = Ipv4Length(units, count);
    if (length == 0 && !afterHexGroup) {
        length = MacLength(units, count);
        if (length != 0) {
            kind = RedactionKind::HardwareAddress;
        } else {
            length = Ipv6Length(units, count);
        }
    }
    if (length == 0) return result;
    std::string key;
    for (size_t k = 0; k < length; ++k) key += static_cast<char>(Fold(units[k]));
    result.end = ends[length - 1];
    result.placeholder = &map_.PlaceholderForAddress(kind, key);
    result.last = units[length - 1];
    return result;
}

template <typename Unit>
void RedactionStream<Unit>::Note(unsigned value)
{
    before_[1] = before_[0];
    before_[0] = value;
    if (IsAsciiLetter(value)) {
        letters_ = (letters_ << 8) | Fold(value);
        ++letterCount_;
        return;
    }
    EndWord();
    if (!IsLabelSeparator(value)) afterVersion_ = false;
}

template <typename Unit>
void RedactionStream<Unit>::EndWord()
{
    if (letterCount_ == 0) return;
    afterVersion_ = letterCount_ >= 7 && (letters_ & 0xFFFFFFFFFFFFFFULL) == kVersionLetters;
    letterCount_ = 0;
}

// One unit of markup, kept as it is: the '<' that opens a tag or a
// declaration, a unit in one, or the quote that ends a data value. `i` stays
// when the next unit is needed to tell.
template <typename Unit>
void RedactionStream<Unit>::StepMarkup(size_t& i, bool final)
{
    const unsigned c = static_cast<std::make_unsigned_t<Unit>>(text_[i]);
    switch (mode_) {
    case Mode::Text:
        if (i + 1 >= size_ && !final) return;
        {
            const unsigned next = i + 1 < size_ ? static_cast<std::make_unsigned_t<Unit>>(text_[i + 1]) : 0;
            mode_ = next == '!' || next == '?' ? Mode::Declaration : Mode::Tag;
        }
        attribute_.clear();
        inName_ = false;
        EndWord();
        break;
    case Mode::DataValue:
        mode_ = Mode::Tag;
        break;
    case Mode::Declaration:
        if (c == '>') mode_ = Mode::Text;
        break;
    case Mode::MarkupValue:
        if (c == quote_) mode_ = Mode::Tag;
        break;
    case Mode::Tag:
        if (c == '>') {
            mode_ = Mode::Text;
        } else if (c == '"' || c == '\'') {
            quote_ = c;
            mode_ = IsDataAttribute(attribute_) ? Mode::DataValue : Mode::MarkupValue;
            inName_ = false;
        } else if (IsAsciiLetter(c) || c == '-') {
            if (!inName_) attribute_.clear();
            inName_ = true;
            if (attribute_.size() < 16) attribute_ += static_cast<char>(Fold(c));
        } else {
            inName_ = false;
        }
        break;
    }
    before_[0] = before_[1] = ' ';  // markup separates words
    ++i;
}

// Filters text_ as far as it can be decided; returns how far that is.
template <typename Unit>
size_t RedactionStream<Unit>::Process(bool final, std::basic_string<Unit>& out)
{
    size_t i = 0;
    size_t copied = 0;  // what is before it is in `out`
    while (i < size_) {
        const unsigned c = static_cast<std::make_unsigned_t<Unit>>(text_[i]);
        if (html_ && (mode_ != Mode::Text || c == '<') && (mode_ != Mode::DataValue || c == quote_)) {
            const size_t before = i;
            StepMarkup(i, final);
            if (i == before) break;  // needs more text
            continue;
        }
        // Inside a word nothing begins: its letters and digits pass at once.
        if (IsWordUnit(c) && IsWordUnit(before_[0])) {
            Note(c);
            ++i;
            continue;
        }
        const Unit1 unit = Read(i, final);
        if (unit.more) break;
        Match match;  // a word or an address begins only where no word goes on
        if (!IsWordUnit(before_[0])) match = TryWords(i, Fold(unit.value), final);
        if (!IsWordUnit(before_[0]) && !match.more && match.placeholder == nullptr &&
            (IsHex(unit.value) || unit.value == ':')) {
            match = TryAddress(i, final);
        }
        if (match.more) break;
        if (match.placeholder != nullptr) {
            out.append(text_ + copied, i - copied);
            for (char p : *match.placeholder) out += static_cast<Unit>(p);
            Note(match.last);
            letterCount_ = 0;
            afterVersion_ = false;
            i = copied = match.end;
            continue;
        }
        Note(unit.value);
        i += unit.length;
    }
    out.append(text_ + copied, i - copied);
    return i;
}

template class RedactionStream<char>;
template class RedactionStream<wchar_t>;

std::string RedactText(RedactionMap& map, const std::string& text, RedactedText form)
{
    std::string out;
    RedactionStream<char> stream(map, form);
    stream.Write(text.data(), text.size(), out);
    stream.Finish(out);
    return out;
}

std::wstring RedactText(RedactionMap& map, const std::wstring& text, RedactedText form)
{
    std::wstring out;
    RedactionStream<wchar_t> stream(map, form);
    stream.Write(text.data(), text.size(), out);
    stream.Finish(out);
    return out;
}
