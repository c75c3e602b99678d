// The words and addresses a redacted collection replaces by placeholders,
// and the filters that replace them in texts as they are written: ANSI or
// UTF-8 bytes, UTF-16 units, plain text or HTML.
//
// A word is replaced only where it stands alone (no letter or digit right
// before or after it), without regard to ASCII case; its lower- and
// upper-case forms are registered too, so other letters match in those
// forms. In HTML, data is filtered and markup is not: tag and attribute
// names, declarations and the values of attributes that are markup stay as
// they are, while text and the values of href, src, title, alt and value
// (and of name and id, which links point to) are filtered with every entity
// read as the one character it stands for, so a replacement always covers
// whole entities. The filters hold no locks: one thread uses a map at a
// time.
#pragma once
#include <cstddef>
#include <map>
#include <string>
#include <vector>

enum class RedactionKind : unsigned {
    User,             // USER1...: the user's name, the profile folders' names
    Host,             // HOST1...: the computer's names
    Domain,           // DOMAIN1...: domain or workgroup
    Owner,            // OWNER1...: RegisteredOwner
    Organization,     // ORG1...: RegisteredOrganization
    Address,          // IP1...: IPv4 and IPv6 addresses
    HardwareAddress,  // MAC1...
    Serial,           // SERIAL1...: volume and disk serial numbers
};
constexpr unsigned kRedactionKindCount = 8;

// "user", "computer", "domain", "owner", "organization", "ip-address",
// "mac-address", "serial-number": the kind as summary.json names it.
const char* RedactionKindName(RedactionKind kind);

class RedactionMap {
public:
    // A word found on the machine. Ignored (false) when it is shorter than
    // three characters once blanks are trimmed, one of Windows' own names
    // ("Public", "Default", "Administrator"...), or looks like a
    // placeholder. A word met before keeps its first placeholder.
    bool AddWord(RedactionKind kind, const std::wstring& word);
    // The placeholder of an address met in a text, numbered on first sight
    // (`key`: the address as written, lower case).
    const std::string& PlaceholderForAddress(RedactionKind kind, const std::string& key);
    // Bit (1 << kind) for each kind that has a placeholder.
    unsigned KindsReplaced() const { return kindsReplaced_; }
    bool HasWords() const { return !placeholders_.empty(); }
    // Forgets every word and address (the map is never written anywhere).
    void Clear();

    // The filters' view: the forms of the words that begin with a unit
    // (ASCII folded to lower case), longest first.
    struct Form {
        std::vector<unsigned> units;
        size_t word;
    };
    const std::vector<Form>& FormsStartingWith(bool wide, unsigned folded) const;
    const std::string& Placeholder(size_t word) const { return placeholders_[word]; }

private:
    std::string NextPlaceholder(RedactionKind kind);
    void AddForm(bool wide, std::vector<unsigned> units, size_t word);

    std::vector<std::string> placeholders_;     // by word index
    std::map<std::wstring, size_t> wordIndex_;  // lower-case word -> index
    std::map<std::string, std::string> addresses_;
    std::vector<Form> narrowForms_[256];
    std::vector<Form> wideForms_[256];
    unsigned counters_[kRedactionKindCount] = {};
    unsigned kindsReplaced_ = 0;
};

enum class RedactedText { Plain, Html };

// One text written piece by piece (a page, a copied file). The end of a
// piece that may still begin a word or an address is held back until the
// next piece or Finish.
template <typename Unit>  // char: ANSI, OEM or UTF-8 bytes; wchar_t: UTF-16
class RedactionStream {
public:
    RedactionStream(RedactionMap& map, RedactedText form) : map_(map), html_(form == RedactedText::Html) {}
    void Write(const Unit* text, size_t length, std::basic_string<Unit>& out);
    void Finish(std::basic_string<Unit>& out);

private:
    enum class Mode { Text, Tag, DataValue, MarkupValue, Declaration };
    struct Unit1 {
        unsigned value;  // the character, an entity decoded
        size_t length;   // source units it takes; 0: the text ends or needs more
        bool more;       // true: more text is needed to tell
    };
    struct Match {
        bool more = false;
        size_t end = 0;
        const std::string* placeholder = nullptr;
        unsigned last = 0;
    };

    size_t Process(bool final, std::basic_string<Unit>& out);
    void StepMarkup(size_t& i, bool final);
    Unit1 Read(size_t at, bool final) const;
    Unit1 ReadSpecial(size_t at, bool final) const;
    Match TryWords(size_t at, unsigned first, bool final) const;
    Match TryAddress(size_t at, bool final);
    void Note(unsigned value);
    void EndWord();

    RedactionMap& map_;
    bool html_;
    std::basic_string<Unit> pending_;  // the end of the last piece that was not decided yet
    const Unit* text_ = nullptr;       // what Process works on: the piece, or pending_ followed by it
    size_t size_ = 0;
    Mode mode_ = Mode::Text;
    unsigned quote_ = 0;
    std::string attribute_;  // the name last read in the open tag
    bool inName_ = false;
    unsigned before_[2] = {' ', ' '};  // the last two characters written, newest first
    unsigned long long letters_ = 0;  // the last letters of the word being written, lower case, a byte each
    unsigned letterCount_ = 0;        // letters of that word
    bool afterVersion_ = false;  // the word before ends in "version" and only blanks, ':' or '=' followed it
};

extern template class RedactionStream<char>;
extern template class RedactionStream<wchar_t>;

// A whole text at once.
std::string RedactText(RedactionMap& map, const std::string& text, RedactedText form);
std::wstring RedactText(RedactionMap& map, const std::wstring& text, RedactedText form);
