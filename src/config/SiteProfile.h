#pragma once
// One site profile and the line it is stored as in the site list file.
//
// The site line is thirteen fields, each followed by "|": server, user name, password, local
// directory, remote directory, download ("TRUE"/"FALSE"), port, multi-site ("TRUE"/"FALSE"),
// nickname, use PASV ("TRUE"/"FALSE"), saved PC time, saved server time, after-login command.
// A time is "MM/DD/YY HH:MM:SS", or nothing when it is 0. There is no escaping, so a text field
// must not hold "|" (SiteLineProblem refuses it).
//
// A site that uses TLS, or trusts a certificate by its fingerprint, has two more fields: "TLS"
// (or nothing) and the fingerprint (64 hex digits, or nothing). Other sites are written with the
// thirteen only, so their lines stay as older versions wrote and read them. A site with its own
// number of connections has a sixteenth field, the number (the two before it perhaps empty);
// older versions ignore it.
//
// An SFTP site has three more: "SFTP", the path of its private key file (or nothing) and the host
// key the user chose to always trust ("SHA256:..." as OpenSSH prints it, or nothing); the three
// before them are written too, perhaps empty. FTP sites never get them, so their lines stay as
// they were.
#include "base/DateTime.h"

#include <string>
#include <string_view>

struct TmultFTP {
    std::string NickName;
    std::string Server;
    std::string UserName;
    std::string Password; // empty: ask when connecting
    std::string LocalDir;
    std::string RemoteDir;
    std::string AfterLoginCommand; // empty: none
    std::string CacheKey;          // derived by UpdateCacheKey, never read from a file
    bool UsePasv = false;
    bool MultiSite = false;
    bool Download = false; // false: upload
    int Port = 21;
    TDateTime SavedPcTime = 0;     // 0: not measured
    TDateTime SavedServerTime = 0; // 0: not measured
    bool RequireTls = false;       // explicit TLS (AUTH TLS) on every connection, or no login
    std::string TrustedCert;       // SHA-256 of a certificate trusted by the user, upper-case hex
    int Connections = 0;           // connections a run uses at once; 0: the global option
    bool UseSftp = false;          // SFTP over SSH; RequireTls does not apply then
    std::string KeyFile;           // SFTP: an OpenSSH private key file; empty: none
    std::string TrustedHostKey;    // SFTP: "SHA256:..." of a host key trusted by the user
};

// The default port of a site's protocol: 22 for SFTP, else 21.
inline int DefaultPort(bool useSftp) { return useSftp ? 22 : 21; }

// A host key fingerprint as OpenSSH prints it: "SHA256:" and 43 characters of unpadded base64
// ("sha256:" and a trailing "=" are taken too); "" when the text is not one.
std::string NormalHostKeyFingerprint(std::string_view text);

// 64 upper-case hex digits of a SHA-256 fingerprint written as "ab:cd:..." or bare hex; "" when
// the text is neither.
std::string NormalCertificateFingerprint(std::string_view text);

// Equal in every stored field (CacheKey is derived and not compared).
bool SameProfile(const TmultFTP &a, const TmultFTP &b);

// Three-way merge of one site: the fields `ours` changed from `base` over `theirs`. The two saved
// times are one measurement and move together.
TmultFTP MergeProfile(const TmultFTP &base, const TmultFTP &ours, const TmultFTP &theirs);

// The text fields hold at most 255 bytes; this cuts every one of them.
void CutProfileTexts(TmultFTP &site);

// CRC-32 of server, user name, local and remote directory joined (cut to 255 bytes), followed by
// "|", the port and "|plain", "|tls" or "|sftp", as eight upper-case hexadecimal digits. It names the
// site's listing cache file.
std::string ComputeCacheKey(const TmultFTP &site);
void UpdateCacheKey(TmultFTP &site);

// The cipher's buffer holds this many bytes, so no site line may be longer.
inline constexpr size_t kMaxSiteLineBytes = 1024;

std::string SiteLine(const TmultFTP &site);
// The same with every false flag written as an empty field, which reads back as false too: the
// form for a site whose line would not fit otherwise.
std::string CompactSiteLine(const TmultFTP &site);
// The same with the password shown as "*****", for the debug trace.
std::string MaskedSiteLine(const TmultFTP &site);

// Why the profile cannot be stored, or "" when it can: a text field holds "|", a line break or a
// NUL, the port is not a TCP port (it would not read back), or the line could outgrow
// kMaxSiteLineBytes (counted with both times set, every flag "FALSE" and a trusted key or
// certificate, so that later clock measurements, toggles and trust always still fit).
std::string SiteLineProblem(const TmultFTP &site);

struct ParsedSiteLine {
    TmultFTP site;        // texts cut to 255 bytes, CacheKey set
    bool portValid = true; // false: the port field was not a port number; site.Port is 21
};
// Fields missing at the end of the line read as empty; text after the nineteenth "|" is ignored.
// A time that is not readable makes both saved times 0, so the next connection measures again.
ParsedSiteLine ParseSiteLine(std::string_view line);

// "MM/DD/YY HH:MM:SS" to the second, or "" for 0.
std::string FormatSiteTime(TDateTime value);
// Reads the digits at their fixed positions; the separators may be anything. Two-digit years
// 00-68 are 2000-2068, 69-99 are 1969-1999. False for a text that does not hold a valid time.
bool ParseSiteTime(std::string_view text, TDateTime &value);
