#pragma once
// The command line of the fernhop program.
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct SiteFields {
    std::optional<std::string> server;
    std::optional<int> port;
    std::optional<std::string> user;
    std::optional<std::string> password;
    bool askPassword = false;
    std::optional<std::string> local;
    std::optional<std::string> remote;
    bool download = false;
    bool upload = false;
    bool pasv = false;
    bool noPasv = false;
    bool noMultiSite = false;
    bool multiSite = false;
    std::optional<std::string> afterLogin;
    bool tls = false;
    bool noTls = false;
    std::optional<std::string> trustCert; // 64 hex digits
    bool sftp = false;
    bool noSftp = false;
    std::optional<std::string> keyFile;     // "" forgets the site's key file
    std::optional<std::string> trustHostKey; // "SHA256:..."
};

enum class CommandMode {
    Help,
    Window,
    Scan,
    Batch,
    ListSites,
    AddSite,
    ReplaceSite,
    RemoveSite,
    Set,
    ShowSettings,
};

struct CommandLine {
    CommandMode mode = CommandMode::Help;
    std::string error; // not empty: bad usage
    std::optional<std::string> settingsDir;
    std::string nickName; // site of --batch, --add-site, --replace-site, --remove-site
    std::string scanDir;
    bool dryRun = false;
    bool yes = false;
    bool multiSite = false;
    bool allowMassDelete = false;
    int maxDelete = -1; // --max-delete N
    int connections = 0; // --connections N for every site of the run; 0: the settings decide
    // Batch output: nothing when nothing happened, the FTP log too, or JSON for scripts.
    bool quiet = false;
    bool verbose = false;
    bool json = false;
    SiteFields fields;
    // Batch: TLS for every site of the run, and certificates trusted for this run only.
    bool tls = false;
    std::vector<std::string> trustCerts;
    // Batch: SFTP host keys trusted for this run only, and whether an encrypted key file's
    // passphrase is read from the terminal (else that key is skipped).
    std::vector<std::string> trustHostKeys;
    bool askPassphrase = false;
    std::vector<std::pair<std::string, std::string>> sets;
};

CommandLine ParseCommandLine(const std::vector<std::string> &args);
// Without TLS no certificate is shown, and the password would go in clear to a user who asked
// for a trusted server: bad usage, wherever the site's TLS setting is found.
inline constexpr const char *kTrustCertNeedsTls =
    "--trust-cert needs TLS: give --tls too (or store it with the site); without TLS no certificate is checked "
    "and the password goes in clear";
// A host key belongs to an SFTP site: given for a run of FTP sites only it would be a mistake.
inline constexpr const char *kTrustHostKeyNeedsSftp =
    "--trust-host-key is for SFTP sites: give --sftp too (or store it with the site)";
const char *UsageText();

// Exit statuses of the program.
inline constexpr int kExitDone = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitNoConnection = 2;
inline constexpr int kExitUsage = 64;
inline constexpr int kExitBusy = 75;     // another batch run is syncing the same site
inline constexpr int kExitSettings = 78; // a settings file is there but cannot be read
// A batch run stopped by SIGINT or SIGTERM exits with 128 + the signal's number: 130 or 143.
