#include "config/ProfileFile.h"

#include "base/Text.h"
#include "config/SettingsText.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Reads went through a 1024-byte buffer with its closing zero.
constexpr size_t kMaxReadLength = 1023;

// CRs count as blanks here: no name or value holds one (WriteString refuses it), and a line end
// of CR CR LF may leave one behind a blank.
std::string_view Trim(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string Fold(std::string_view name)
{
    return UpperAZ(Trim(name));
}

bool IsHeader(std::string_view trimmed)
{
    return trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']' &&
           trimmed.find('=') == std::string_view::npos;
}

bool HoldsLineBreakOrNul(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool ParseHex(std::string_view digits, int &value)
{
    uint64_t number = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        number = number * 16 + uint64_t(digit);
        if (number > 0xFFFFFFFFu)
            return false;
    }
    value = int(uint32_t(number)); // "0xFFFFFFFF" is -1, as a 32-bit integer holds it
    return true;
}

bool ParseDecimal(std::string_view text, int &value)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    int64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
        if (number > int64_t(INT_MAX) + 1)
            return false;
    }
    if (negative)
        number = -number;
    if (number > INT_MAX || number < INT_MIN)
        return false;
    value = int(number);
    return true;
}

bool ParseInteger(std::string_view text, int &value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ParseHex(text.substr(2), value);
    return ParseDecimal(text, value);
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data.remove_prefix(size_t(written));
    }
    return true;
}

std::string DirectoryOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens a new temporary file next to the target; O_EXCL so that nothing present is reused.
int CreateTemporary(const std::string &target, mode_t mode, std::string &tempName)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = target + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter++);
        const int fd = open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The file at `path` (described by `info`) holds exactly `text`.
bool HoldsExactly(const std::string &path, const struct stat &info, std::string_view text)
{
    if (info.st_size < 0 || uint64_t(info.st_size) != text.size())
        return false;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string held(text.size(), '\0');
    size_t at = 0;
    while (at < held.size()) {
        const ssize_t got = read(fd, held.data() + at, held.size() - at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        at += size_t(got);
    }
    char extra;
    const bool ended = at == held.size() && read(fd, &extra, 1) == 0;
    close(fd);
    return ended && held == text;
}

} // namespace

std::string UnableToWriteText(std::string_view fileName)
{
    return "Unable to write to " + std::string(fileName);
}

ProfileFile::ProfileFile(std::string fileName, Access access)
    : fileName_(std::move(fileName)), access_(access)
{
    Load();
}

void ProfileFile::Load()
{
    const int fd = open(fileName_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        loadFailed_ = errno != ENOENT;
        return;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            loadFailed_ = true;
            break;
        }
        if (got == 0)
            break;
        text.append(buffer, size_t(got));
    }
    close(fd);
    if (!loadFailed_)
        ParseText(text);
}

void ProfileFile::ParseText(std::string_view text)
{
    text = SkipByteOrderMark(text);
    Section *current = nullptr;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        raw = StripTrailingCRs(raw);

        const std::string_view trimmed = Trim(raw);
        if (IsHeader(trimmed)) {
            Section section;
            section.name = std::string(Trim(trimmed.substr(1, trimmed.size() - 2)));
            section.header = std::string(raw);
            sections_.push_back(std::move(section));
            current = &sections_.back();
            continue;
        }
        if (current)
            AddLine(*current, EntryLine(std::string(raw)));
        else
            preamble_.push_back(std::string(raw));
    }

    // Empty lines that end a part are the separators, which Serialize() writes anew.
    auto isBlank = [](const std::string &line) { return Trim(line).empty(); };
    while (!preamble_.empty() && isBlank(preamble_.back()))
        preamble_.pop_back();
    for (Section &section : sections_)
        while (!section.lines.empty() && isBlank(section.lines.back().text))
            section.lines.pop_back();
    IndexSections();
}

ProfileFile::Line ProfileFile::EntryLine(std::string text)
{
    Line line;
    const size_t equals = text.find('=');
    if (equals != std::string::npos) {
        line.isEntry = true;
        line.key = std::string(Trim(std::string_view(text).substr(0, equals)));
        line.value = std::string(Trim(std::string_view(text).substr(equals + 1)));
    }
    line.text = std::move(text);
    return line;
}

void ProfileFile::AddLine(Section &section, Line line)
{
    if (line.isEntry)
        section.firstLineOfKey.emplace(Fold(line.key), section.lines.size());
    section.lines.push_back(std::move(line));
}

void ProfileFile::IndexSections()
{
    firstSectionNamed_.clear();
    for (size_t i = 0; i < sections_.size(); ++i)
        firstSectionNamed_.emplace(Fold(sections_[i].name), i);
}

const ProfileFile::Section *ProfileFile::FindSection(std::string_view section) const
{
    const auto found = firstSectionNamed_.find(Fold(section));
    return found == firstSectionNamed_.end() ? nullptr : &sections_[found->second];
}

ProfileFile::Section *ProfileFile::FindSection(std::string_view section)
{
    return const_cast<Section *>(std::as_const(*this).FindSection(section));
}

const ProfileFile::Line *ProfileFile::FindEntry(std::string_view section,
                                                std::string_view key) const
{
    const Section *found = FindSection(section);
    if (!found)
        return nullptr;
    const auto line = found->firstLineOfKey.find(Fold(key));
    return line == found->firstLineOfKey.end() ? nullptr : &found->lines[line->second];
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const
{
    const Line *entry = FindEntry(section, key);
    const std::string_view value = entry ? std::string_view(entry->value) : defaultValue;
    return std::string(value.substr(0, kMaxReadLength));
}

int ProfileFile::ReadInteger(std::string_view section, std::string_view key,
                             int defaultValue) const
{
    const Line *entry = FindEntry(section, key);
    int value;
    if (entry && ParseInteger(std::string_view(entry->value).substr(0, kMaxReadLength), value))
        return value;
    return defaultValue;
}

bool ProfileFile::ReadBool(std::string_view section, std::string_view key,
                           bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool ProfileFile::Storable(std::string_view section, std::string_view key, std::string_view value)
{
    // A key holding "=" is written whole and reads back cut before its first "=", like any line.
    const std::string_view sectionName = Trim(section);
    const std::string_view keyName = Trim(key.substr(0, key.find('=')));
    return !sectionName.empty() && sectionName.find_first_of("[]=") == std::string_view::npos &&
           !HoldsLineBreakOrNul(section) && !keyName.empty() && !HoldsLineBreakOrNul(key) &&
           !HoldsLineBreakOrNul(value);
}

ProfileFile::Section &ProfileFile::SectionForWriting(std::string_view section)
{
    Section *target = FindSection(section);
    if (!target) {
        Section added;
        added.name = std::string(Trim(section));
        added.header = "[" + added.name + "]";
        sections_.push_back(std::move(added));
        IndexSections();
        target = &sections_.back();
    }
    modified_ = true;
    return *target;
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value)
{
    if (!Storable(section, key, value))
        return false;
    Section &target = SectionForWriting(section);
    const std::string_view keyName = Trim(key.substr(0, key.find('=')));
    if (keyName.size() == Trim(key).size()) {
        const auto existing = target.firstLineOfKey.find(Fold(keyName));
        if (existing != target.firstLineOfKey.end()) {
            Line &line = target.lines[existing->second];
            line.text = line.key + "=" + std::string(value);
            line.value = std::string(Trim(value));
            return true;
        }
    }
    AddLine(target, EntryLine(std::string(key) + "=" + std::string(value)));
    return true;
}

bool ProfileFile::AppendEntry(std::string_view section, std::string_view key, std::string_view value)
{
    if (!Storable(section, key, value))
        return false;
    AddLine(SectionForWriting(section), EntryLine(std::string(key) + "=" + std::string(value)));
    return true;
}

bool ProfileFile::HasKey(std::string_view section, std::string_view key) const
{
    return FindEntry(section, key) != nullptr;
}

bool ProfileFile::HasSection(std::string_view section) const
{
    return FindSection(section) != nullptr;
}

bool ProfileFile::WriteInteger(std::string_view section, std::string_view key, int value)
{
    return WriteString(section, key, std::to_string(value));
}

bool ProfileFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    return WriteString(section, key, value ? "1" : "0");
}

void ProfileFile::EraseSection(std::string_view section)
{
    const std::string folded = Fold(section);
    const size_t before = sections_.size();
    std::erase_if(sections_, [&](const Section &s) { return Fold(s.name) == folded; });
    if (sections_.size() != before) {
        modified_ = true;
        IndexSections();
    }
}

std::string ProfileFile::Serialize() const
{
    std::string text;
    bool first = true;
    auto separate = [&] {
        if (!first)
            text += '\n';
        first = false;
    };
    if (!preamble_.empty()) {
        separate();
        for (const std::string &line : preamble_)
            text.append(line).append("\n");
    }
    for (const Section &section : sections_) {
        separate();
        text.append(section.header).append("\n");
        for (const Line &line : section.lines)
            text.append(line.text).append("\n");
    }
    return text;
}

bool ProfileFile::Save()
{
    errorText_.clear();
    if (loadFailed_ || !WriteFile(Serialize())) {
        errorText_ = UnableToWriteText(fileName_);
        return false;
    }
    modified_ = false;
    return true;
}

bool ProfileFile::WriteFile(const std::string &text)
{
    struct stat previous {};
    const bool replacing = stat(fileName_.c_str(), &previous) == 0;
    if (replacing && !S_ISREG(previous.st_mode))
        return false;
    // A save that changes nothing (most runs) leaves the file alone: no rewrite, no flush to disk.
    const bool modeAsWanted = access_ != Access::Private || (previous.st_mode & 07777) == 0600;
    if (replacing && modeAsWanted && fault_ == SaveFault::None && HoldsExactly(fileName_, previous, text))
        return true;

    std::string tempName;
    const mode_t createMode = access_ == Access::Private ? 0600 : 0666;
    const int fd = CreateTemporary(fileName_, createMode, tempName);
    if (fd < 0)
        return false;

    bool ok;
    if (fault_ == SaveFault::FailWrite) {
        WriteAll(fd, std::string_view(text).substr(0, text.size() / 2));
        ok = false;
    } else {
        ok = WriteAll(fd, text);
    }
    if (ok && access_ == Access::Private)
        ok = fchmod(fd, 0600) == 0;
    else if (ok && replacing)
        ok = fchmod(fd, previous.st_mode & 07777) == 0;
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok && fault_ == SaveFault::FailRename)
        ok = false;
    ok = ok && rename(tempName.c_str(), fileName_.c_str()) == 0;
    if (!ok) {
        unlink(tempName.c_str());
        return false;
    }

    // Makes the rename itself survive a power cut; the file is already whole either way.
    const int directory = open(DirectoryOf(fileName_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
    return true;
}
