#include "config/SiteProfile.h"

#include "base/Text.h"
#include "config/Crc32.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kFieldCount = 19;
constexpr const char *kSftpField = "SFTP";
// What a trusted host key takes in a line: "SHA256:" and 43 base64 characters.
constexpr size_t kHostKeyFingerprintBytes = 50;
constexpr int kMaxConnections = 16;

std::string BuildLine(const TmultFTP &site, std::string_view password, bool compact = false)
{
    auto Flag = [compact](bool value) { return value ? "TRUE" : compact ? "" : "FALSE"; };
    std::string line;
    auto field = [&line](std::string_view text) {
        line += text;
        line += '|';
    };
    field(site.Server);
    field(site.UserName);
    field(password);
    field(site.LocalDir);
    field(site.RemoteDir);
    field(Flag(site.Download));
    field(std::to_string(site.Port));
    field(Flag(site.MultiSite));
    field(site.NickName);
    field(Flag(site.UsePasv));
    field(FormatSiteTime(site.SavedPcTime));
    field(FormatSiteTime(site.SavedServerTime));
    field(site.AfterLoginCommand);
    if (site.RequireTls || !site.TrustedCert.empty() || site.Connections > 0 || site.UseSftp) {
        field(site.RequireTls && !site.UseSftp ? "TLS" : "");
        field(site.TrustedCert);
    }
    if (site.Connections > 0 || site.UseSftp)
        field(site.Connections > 0 ? std::to_string(site.Connections) : "");
    if (site.UseSftp) {
        field(kSftpField);
        field(site.KeyFile);
        field(site.TrustedHostKey);
    }
    return line;
}

bool HoldsUnstorable(std::string_view text)
{
    return text.find_first_of(std::string_view("|\r\n\0", 4)) != std::string_view::npos;
}

// Two digits at text[at]; false when either is not a digit.
bool TwoDigits(std::string_view text, size_t at, int &value)
{
    const char a = text[at], b = text[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return false;
    value = (a - '0') * 10 + (b - '0');
    return true;
}

// A port field: optional sign and decimal digits, within the range of a TCP port.
bool ParsePort(std::string_view text, int &port)
{
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 5)
        return false;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > 65535)
        return false;
    port = value;
    return true;
}

} // namespace

void CutProfileTexts(TmultFTP &site)
{
    for (std::string *text : {&site.NickName, &site.Server, &site.UserName, &site.Password,
                              &site.LocalDir, &site.RemoteDir, &site.AfterLoginCommand, &site.KeyFile})
        *text = Cut255(*text);
}

std::string ComputeCacheKey(const TmultFTP &site)
{
    // The port and the protocol follow the cut text, so that long paths cannot push them out: two
    // servers on one host (staging beside production) must never share a cached listing. Files
    // named by the older four-field key are simply not found, and the site is listed.
    const std::string joined = site.Server + site.UserName + site.LocalDir + site.RemoteDir;
    uint32_t state = Crc32Update(kCrc32Start, Cut255(joined));
    const char *protocol = site.UseSftp ? "|sftp" : site.RequireTls ? "|tls" : "|plain";
    state = Crc32Update(state, "|" + std::to_string(site.Port) + protocol);
    return Crc32Hex(Crc32Finish(state));
}

void UpdateCacheKey(TmultFTP &site)
{
    site.CacheKey = ComputeCacheKey(site);
}

std::string SiteLine(const TmultFTP &site)
{
    return BuildLine(site, site.Password);
}

std::string CompactSiteLine(const TmultFTP &site)
{
    return BuildLine(site, site.Password, true);
}

bool SameProfile(const TmultFTP &a, const TmultFTP &b)
{
    return a.NickName == b.NickName && a.Server == b.Server && a.UserName == b.UserName &&
           a.Password == b.Password && a.LocalDir == b.LocalDir && a.RemoteDir == b.RemoteDir &&
           a.AfterLoginCommand == b.AfterLoginCommand && a.UsePasv == b.UsePasv &&
           a.MultiSite == b.MultiSite && a.Download == b.Download && a.Port == b.Port &&
           a.SavedPcTime == b.SavedPcTime && a.SavedServerTime == b.SavedServerTime &&
           a.RequireTls == b.RequireTls && a.TrustedCert == b.TrustedCert && a.Connections == b.Connections &&
           a.UseSftp == b.UseSftp && a.KeyFile == b.KeyFile && a.TrustedHostKey == b.TrustedHostKey;
}

TmultFTP MergeProfile(const TmultFTP &base, const TmultFTP &ours, const TmultFTP &theirs)
{
    TmultFTP merged = theirs;
    auto take = [](auto &field, const auto &baseField, const auto &ourField) {
        if (ourField != baseField)
            field = ourField;
    };
    take(merged.NickName, base.NickName, ours.NickName);
    take(merged.Server, base.Server, ours.Server);
    take(merged.UserName, base.UserName, ours.UserName);
    take(merged.Password, base.Password, ours.Password);
    take(merged.LocalDir, base.LocalDir, ours.LocalDir);
    take(merged.RemoteDir, base.RemoteDir, ours.RemoteDir);
    take(merged.AfterLoginCommand, base.AfterLoginCommand, ours.AfterLoginCommand);
    take(merged.UsePasv, base.UsePasv, ours.UsePasv);
    take(merged.MultiSite, base.MultiSite, ours.MultiSite);
    take(merged.Download, base.Download, ours.Download);
    take(merged.Port, base.Port, ours.Port);
    take(merged.RequireTls, base.RequireTls, ours.RequireTls);
    take(merged.TrustedCert, base.TrustedCert, ours.TrustedCert);
    take(merged.Connections, base.Connections, ours.Connections);
    take(merged.UseSftp, base.UseSftp, ours.UseSftp);
    take(merged.KeyFile, base.KeyFile, ours.KeyFile);
    take(merged.TrustedHostKey, base.TrustedHostKey, ours.TrustedHostKey);
    if (ours.SavedPcTime != base.SavedPcTime || ours.SavedServerTime != base.SavedServerTime) {
        merged.SavedPcTime = ours.SavedPcTime;
        merged.SavedServerTime = ours.SavedServerTime;
    }
    UpdateCacheKey(merged);
    return merged;
}

std::string MaskedSiteLine(const TmultFTP &site)
{
    return BuildLine(site, site.Password.empty() ? "" : "*****");
}

std::string SiteLineProblem(const TmultFTP &site)
{
    for (const std::string *text : {&site.NickName, &site.Server, &site.UserName, &site.Password,
                                    &site.LocalDir, &site.RemoteDir, &site.AfterLoginCommand, &site.KeyFile,
                                    &site.TrustedHostKey}) {
        if (HoldsUnstorable(*text))
            return "The site settings cannot hold the character \"|\" or a line break. Please "
                   "remove it (a password may be left blank to be asked for when connecting).";
    }
    if (site.Port < 0 || site.Port > 65535)
        return "The port must be a number from 0 to 65535.";
    TmultFTP longest = site;
    longest.Download = longest.MultiSite = longest.UsePasv = false;
    longest.SavedPcTime = longest.SavedServerTime = EncodeDate(2000, 1, 1);
    if (longest.RequireTls)
        longest.TrustedCert = std::string(64, '0'); // a certificate trusted later must fit too
    if (longest.UseSftp)
        longest.TrustedHostKey = std::string(std::max(kHostKeyFingerprintBytes, longest.TrustedHostKey.size()), '0');
    longest.Connections = kMaxConnections;
    if (SiteLine(longest).size() > kMaxSiteLineBytes)
        return "The site settings are too long to be stored (a site holds at most " +
               std::to_string(kMaxSiteLineBytes) +
               " characters in all). Please shorten the directories, the key file or the after-login command.";
    return {};
}

ParsedSiteLine ParseSiteLine(std::string_view line)
{
    std::string fields[kFieldCount];
    for (std::string &field : fields) {
        if (line.empty())
            break;
        const size_t bar = line.find('|');
        if (bar == std::string_view::npos) {
            // No "|" left: the field is empty and nothing is taken off the line.
            continue;
        }
        field = std::string(line.substr(0, bar));
        line.remove_prefix(bar + 1);
    }

    ParsedSiteLine parsed;
    TmultFTP &site = parsed.site;
    site.Server = fields[0];
    site.UserName = fields[1];
    site.Password = fields[2];
    site.LocalDir = fields[3];
    site.RemoteDir = fields[4];
    site.Download = fields[5] == "TRUE";
    parsed.portValid = ParsePort(fields[6], site.Port);
    if (!parsed.portValid)
        site.Port = 21;
    site.MultiSite = fields[7] == "TRUE";
    site.NickName = fields[8];
    site.UsePasv = fields[9] == "TRUE";
    site.AfterLoginCommand = fields[12];
    site.RequireTls = fields[13] == "TLS";
    site.TrustedCert = NormalCertificateFingerprint(fields[14]);
    // Anything but a plain number in range reads as "the global option".
    int connections = 0;
    if (ParsePort(fields[15], connections) && connections <= kMaxConnections)
        site.Connections = connections;
    site.UseSftp = fields[16] == kSftpField;
    if (site.UseSftp) {
        site.RequireTls = false;
        site.KeyFile = fields[17];
        site.TrustedHostKey = NormalHostKeyFingerprint(fields[18]);
    }

    // Both times are one measurement: if either cannot be read, neither is kept.
    TDateTime pc = 0, server = 0;
    const bool pcRead = fields[10].empty() || ParseSiteTime(fields[10], pc);
    const bool serverRead = fields[11].empty() || ParseSiteTime(fields[11], server);
    if (pcRead && serverRead) {
        site.SavedPcTime = pc;
        site.SavedServerTime = server;
    }

    CutProfileTexts(site);
    UpdateCacheKey(site);
    return parsed;
}

std::string NormalCertificateFingerprint(std::string_view text)
{
    std::string digits;
    for (char c : text) {
        if (c == ':')
            continue;
        if (c >= 'a' && c <= 'f')
            c = char(c - 'a' + 'A');
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return {};
        digits += c;
    }
    return digits.size() == 64 ? digits : std::string();
}

std::string NormalHostKeyFingerprint(std::string_view text)
{
    constexpr std::string_view kPrefix = "SHA256:";
    if (text.size() < kPrefix.size() || !EqualsNoCaseAZ(text.substr(0, kPrefix.size()), kPrefix))
        return {};
    std::string_view digits = text.substr(kPrefix.size());
    if (digits.size() == 44 && digits.back() == '=')
        digits.remove_suffix(1);
    if (digits.size() != 43)
        return {};
    for (char c : digits)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/'))
            return {};
    return std::string(kPrefix) + std::string(digits);
}

std::string FormatSiteTime(TDateTime value)
{
    if (value == 0)
        return {};
    const DateParts date = DecodeDate(value);
    const TimeParts time = DecodeTime(value);
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", date.month, date.day,
                  date.year % 100, time.hour, time.minute, time.second);
    return text;
}

bool ParseSiteTime(std::string_view text, TDateTime &value)
{
    if (text.size() < 17)
        return false;
    int month, day, year, hour, minute, second;
    if (!TwoDigits(text, 0, month) || !TwoDigits(text, 3, day) || !TwoDigits(text, 6, year) ||
        !TwoDigits(text, 9, hour) || !TwoDigits(text, 12, minute) || !TwoDigits(text, 15, second))
        return false;
    year += year < 69 ? 2000 : 1900;
    TDateTime date, time;
    if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time))
        return false;
    value = date + time;
    return true;
}
