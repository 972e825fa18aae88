#pragma once
// One INI-style settings file, held in memory: it is read when the object is made, read and
// written freely, and written back by one Save(). Names of sections and keys match without regard
// to letter case (A-Z); lines the program never touched, unknown sections included, are written
// back as they were read.
//
// File format: a "[Section]" header line, "key=value" lines, one empty line between sections.
// Spaces and tabs around section names, keys and values are not part of them, nor are the CRs
// that end a line (any number: a file copied through two systems ends its lines with CR CR LF),
// nor a UTF-8 byte order mark at the start of the file.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// "Unable to write to %s", with the file name in place of "%s".
std::string UnableToWriteText(std::string_view fileName);

class ProfileFile {
public:
    // Private files are written with mode 0600: they hold passwords. Shared files keep the mode
    // of the file they replace; new ones get 0666 less the umask.
    enum class Access { Shared, Private };

    // Reads the file at once. A missing file is an empty profile.
    explicit ProfileFile(std::string fileName, Access access = Access::Shared);

    const std::string &FileName() const { return fileName_; }
    // The file exists but could not be read. Save() then refuses, rather than replace contents
    // it never saw.
    bool LoadFailed() const { return loadFailed_; }

    // Reads come back cut to 1023 characters, as through a 1024-byte buffer; the default too.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Decimal text, or hexadecimal after "0x"/"0X" when the text is longer than two characters.
    // A missing value or one that is not a 32-bit number gives the default.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // Read as an integer; anything but 0 is true.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // Changes the profile in memory only; Save() writes, so many writes cost one save. A key that
    // exists keeps its place and its spelling; a new one goes to the end of its section, a new
    // section to the end of the file. A key holding "=" is stored whole and reads back cut before
    // its first "=". Refused (false, nothing changes) when a text holds a line break or a NUL, the
    // key is blank before its first "=", or the section name is blank or holds "[", "]" or "=":
    // such a line would read back as something else.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    // A new line at the end of the section even when the key is there already: for list files,
    // whose every line is an item of its own.
    bool AppendEntry(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view key, int value);
    bool WriteBool(std::string_view section, std::string_view key, bool value); // "1" or "0"
    bool HasKey(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;

    // Removes every section of that name with all its lines.
    void EraseSection(std::string_view section);

    bool IsModified() const { return modified_; }

    // Writes the whole profile to a temporary file in the same directory, flushes it to disk and
    // renames it over the file, so a crash or a full disk leaves the previous file whole. On
    // failure ErrorText() is UnableToWriteText(FileName()).
    bool Save();
    const std::string &ErrorText() const { return errorText_; }

    // The text Save() writes.
    std::string Serialize() const;

    // Lets a test make Save() fail half way through the data, or at the final rename.
    enum class SaveFault { None, FailWrite, FailRename };
    void InjectSaveFaultForTesting(SaveFault fault) { fault_ = fault; }

private:
    struct Line {
        std::string text;   // as written to the file
        bool isEntry = false;
        std::string key;    // entries only, trimmed
        std::string value;  // entries only, trimmed
    };
    struct Section {
        std::string name;   // trimmed, as spelt
        std::string header; // the header line as read or written
        std::vector<Line> lines;
        std::unordered_map<std::string, size_t> firstLineOfKey; // folded key -> line index
    };

    void Load();
    void ParseText(std::string_view text);
    const Line *FindEntry(std::string_view section, std::string_view key) const;
    Section *FindSection(std::string_view section);
    const Section *FindSection(std::string_view section) const;
    void IndexSections();
    static bool Storable(std::string_view section, std::string_view key, std::string_view value);
    Section &SectionForWriting(std::string_view section);
    static Line EntryLine(std::string text); // an entry when it holds "=", else kept as it is
    static void AddLine(Section &section, Line line);
    bool WriteFile(const std::string &text);

    std::string fileName_;
    Access access_;
    bool loadFailed_ = false;
    bool modified_ = false;
    std::string errorText_;
    SaveFault fault_ = SaveFault::None;

    std::vector<std::string> preamble_; // lines before the first header
    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> firstSectionNamed_; // folded name -> index
};
