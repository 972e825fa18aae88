#include "app/CommandLine.h"

#include "config/SiteProfile.h"

#include <charconv>

namespace {

bool ParsePort(const std::string &text, int &port)
{
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, port);
    return ec == std::errc() && ptr == end && port > 0 && port < 65536;
}

bool ParseCount(const std::string &text, int &count)
{
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, count);
    return ec == std::errc() && ptr == end && count >= 0;
}

void SetMode(CommandLine &cl, CommandMode mode, const std::string &flag)
{
    if (cl.mode != CommandMode::Help && cl.mode != mode && cl.error.empty())
        cl.error = flag + " cannot be combined with another command";
    cl.mode = mode;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string> &args)
{
    CommandLine cl;
    bool helpAsked = false;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size() && cl.error.empty(); ++i) {
        const std::string &a = args[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size()) {
                cl.error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            helpAsked = true;
        } else if (a == "--scan") {
            SetMode(cl, CommandMode::Scan, a);
            value(cl.scanDir);
        } else if (a == "--batch") {
            SetMode(cl, CommandMode::Batch, a);
        } else if (a == "--list-sites") {
            SetMode(cl, CommandMode::ListSites, a);
        } else if (a == "--show-settings") {
            SetMode(cl, CommandMode::ShowSettings, a);
        } else if (a == "--add-site" || a == "--replace-site" || a == "--remove-site") {
            SetMode(cl, a == "--add-site" ? CommandMode::AddSite
                        : a == "--replace-site" ? CommandMode::ReplaceSite
                                                : CommandMode::RemoveSite,
                    a);
            value(cl.nickName);
        } else if (a == "--set") {
            if (cl.mode != CommandMode::Set)
                SetMode(cl, CommandMode::Set, a);
            if (value(v)) {
                size_t eq = v.find('=');
                if (eq == std::string::npos || eq == 0)
                    cl.error = "--set takes KEY=VALUE";
                else
                    cl.sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
            }
        } else if (a == "--settings") {
            if (value(v))
                cl.settingsDir = v;
        } else if (a == "--dry-run") {
            cl.dryRun = true;
        } else if (a == "--yes") {
            cl.yes = true;
        } else if (a == "--allow-mass-delete") {
            cl.allowMassDelete = true;
        } else if (a == "--max-delete") {
            if (value(v) && !ParseCount(v, cl.maxDelete))
                cl.error = "--max-delete takes a number of files, 0 or more";
        } else if (a == "--connections") {
            if (value(v) && (!ParseCount(v, cl.connections) || cl.connections < 1 || cl.connections > 16))
                cl.error = "--connections takes a number from 1 to 16";
        } else if (a == "--quiet" || a == "-q") {
            cl.quiet = true;
        } else if (a == "--verbose" || a == "-v") {
            cl.verbose = true;
        } else if (a == "--json") {
            cl.json = true;
        } else if (a == "--multi-site") {
            cl.multiSite = true;
        } else if (a == "--server") {
            if (value(v))
                cl.fields.server = v;
        } else if (a == "--port") {
            int port = 0;
            if (value(v) && !ParsePort(v, port))
                cl.error = "--port takes a number from 1 to 65535";
            cl.fields.port = port;
        } else if (a == "--user") {
            if (value(v))
                cl.fields.user = v;
        } else if (a == "--password") {
            if (value(v))
                cl.fields.password = v;
        } else if (a == "--ask-password") {
            cl.fields.askPassword = true;
        } else if (a == "--local") {
            if (value(v))
                cl.fields.local = v;
        } else if (a == "--remote") {
            if (value(v))
                cl.fields.remote = v;
        } else if (a == "--download") {
            cl.fields.download = true;
        } else if (a == "--upload") {
            cl.fields.upload = true;
        } else if (a == "--pasv") {
            cl.fields.pasv = true;
        } else if (a == "--no-pasv") {
            cl.fields.noPasv = true;
        } else if (a == "--no-multi-site") {
            cl.fields.noMultiSite = true;
        } else if (a == "--in-multi-site") {
            cl.fields.multiSite = true;
        } else if (a == "--tls") {
            cl.fields.tls = cl.tls = true;
        } else if (a == "--no-tls") {
            cl.fields.noTls = true;
        } else if (a == "--trust-cert") {
            if (value(v)) {
                const std::string fingerprint = NormalCertificateFingerprint(v);
                if (fingerprint.empty())
                    cl.error = "--trust-cert takes a SHA-256 fingerprint: 64 hex digits, colons allowed";
                cl.fields.trustCert = fingerprint;
                cl.trustCerts.push_back(fingerprint);
            }
        } else if (a == "--sftp") {
            cl.fields.sftp = true;
        } else if (a == "--no-sftp") {
            cl.fields.noSftp = true;
        } else if (a == "--key") {
            if (value(v))
                cl.fields.keyFile = v;
        } else if (a == "--trust-host-key") {
            if (value(v)) {
                const std::string fingerprint = NormalHostKeyFingerprint(v);
                if (fingerprint.empty())
                    cl.error = "--trust-host-key takes a host key fingerprint as ssh shows it: SHA256: and 43 "
                               "characters";
                cl.fields.trustHostKey = fingerprint;
                cl.trustHostKeys.push_back(fingerprint);
            }
        } else if (a == "--ask-passphrase") {
            cl.askPassphrase = true;
        } else if (a == "--after-login") {
            if (value(v))
                cl.fields.afterLogin = v;
        } else if (!a.empty() && a[0] == '-') {
            cl.error = "unknown option " + a;
        } else {
            positional.push_back(a);
        }
    }
    if (!cl.error.empty())
        return cl;
    if (helpAsked) {
        cl.mode = CommandMode::Help;
        return cl;
    }
    if (cl.mode == CommandMode::Batch) {
        if (cl.multiSite == !positional.empty())
            cl.error = "--batch takes a site nickname or --multi-site";
        else if (!positional.empty())
            cl.nickName = positional.front();
        if (positional.size() > 1)
            cl.error = "--batch takes one site nickname";
    } else if (cl.mode == CommandMode::Help) {
        // No command: the window, on the site named (if any).
        cl.mode = CommandMode::Window;
        if (cl.dryRun || cl.yes || cl.multiSite || cl.allowMassDelete || cl.maxDelete >= 0)
            cl.error = "--dry-run, --yes, --multi-site, --allow-mass-delete and --max-delete need --batch";
        else if (cl.fields.server || cl.fields.user || cl.fields.local || cl.fields.remote)
            cl.error = "site fields need --add-site or --replace-site";
        else if (positional.size() > 1)
            cl.error = "the window takes one site nickname";
        else if (!positional.empty())
            cl.nickName = positional.front();
    } else if (!positional.empty()) {
        cl.error = "unexpected argument " + positional.front();
    }
    if (cl.mode == CommandMode::AddSite && cl.error.empty() &&
        !(cl.fields.server && cl.fields.user && cl.fields.local && cl.fields.remote))
        cl.error = "--add-site needs --server, --user, --local and --remote";
    if (cl.connections > 0 && cl.mode != CommandMode::Batch && cl.error.empty())
        cl.error = "--connections needs --batch";
    if ((cl.quiet || cl.verbose || cl.json) && cl.mode != CommandMode::Batch && cl.error.empty())
        cl.error = "--quiet, --verbose and --json need --batch";
    if (cl.quiet && cl.verbose && cl.error.empty())
        cl.error = "use either --quiet or --verbose";
    if (cl.fields.password && cl.fields.askPassword)
        cl.error = "use either --password or --ask-password";
    const bool siteCommand = cl.mode == CommandMode::AddSite || cl.mode == CommandMode::ReplaceSite;
    if ((cl.tls || cl.fields.trustCert) && !siteCommand && cl.mode != CommandMode::Batch && cl.error.empty())
        cl.error = "--tls and --trust-cert need --batch, --add-site or --replace-site";
    if (cl.fields.noTls && cl.mode != CommandMode::ReplaceSite && cl.error.empty())
        cl.error = "--no-tls needs --replace-site";
    if (cl.fields.trustCert && cl.mode == CommandMode::AddSite && !cl.fields.tls && cl.error.empty())
        cl.error = kTrustCertNeedsTls;
    if (cl.fields.trustCert && siteCommand && cl.trustCerts.size() > 1 && cl.error.empty())
        cl.error = "a site keeps one trusted certificate: give --trust-cert once";
    if ((cl.fields.sftp || cl.fields.keyFile) && !siteCommand && cl.error.empty())
        cl.error = "--sftp and --key need --add-site or --replace-site";
    if (cl.fields.noSftp && cl.mode != CommandMode::ReplaceSite && cl.error.empty())
        cl.error = "--no-sftp needs --replace-site";
    if (cl.fields.sftp && (cl.fields.noSftp || cl.fields.tls) && cl.error.empty())
        cl.error = "use either --sftp, --no-sftp or --tls";
    if (cl.askPassphrase && cl.mode != CommandMode::Batch && cl.error.empty())
        cl.error = "--ask-passphrase needs --batch";
    if (cl.fields.trustHostKey && !siteCommand && cl.mode != CommandMode::Batch && cl.error.empty())
        cl.error = "--trust-host-key needs --batch, --add-site or --replace-site";
    if (cl.mode == CommandMode::AddSite && (cl.fields.trustHostKey || cl.fields.keyFile) && !cl.fields.sftp &&
        cl.error.empty())
        cl.error = "--key and --trust-host-key are for SFTP sites: give --sftp too";
    if (cl.fields.trustHostKey && siteCommand && cl.trustHostKeys.size() > 1 && cl.error.empty())
        cl.error = "a site keeps one trusted host key: give --trust-host-key once";
    return cl;
}

const char *UsageText()
{
    return "usage:\n"
           "  fernhop [--settings DIR] [NICKNAME]\n"
           "      Open the window (on the site NICKNAME).\n"
           "  fernhop --batch [--settings DIR] [--dry-run] [--yes] [-q | -v] [--json]\n"
           "          [--allow-mass-delete] [--max-delete N] [--tls] [--trust-cert SHA256]\n"
           "          [--trust-host-key SHA256:KEY] [--ask-passphrase] [--connections N]\n"
           "          (NICKNAME | --multi-site)\n"
           "      Connect, list the server (or read the cached listing), compare, transfer, quit.\n"
           "      Prints each site's plan and outcome and a summary on stdout, every failure on\n"
           "      stderr, and on a terminal a progress line.\n"
           "      --dry-run   stop after the compare and print every marked entry, one a line:\n"
           "                  its action (upload, download, mkdir, delete, rmdir, or keep: a\n"
           "                  deletion the options or a missing --yes leave out), then its path\n"
           "                  (control characters and backslashes as C escapes)\n"
           "      -q, --quiet    print nothing when nothing changed and nothing failed (cron)\n"
           "      -v, --verbose  also the FTP conversation and status lines, on stderr\n"
           "      --json      the plans and results as one JSON document on stdout instead\n"
           "      --yes       answer Yes when a deletion asks for confirmation (otherwise No)\n"
           "      --allow-mass-delete  go on with a run that would delete more than maxDeletePercent\n"
           "                  of the files on the side it deletes from (otherwise it stops first)\n"
           "      --max-delete N  stop before the first deletion of a run that would delete more\n"
           "                  than N files\n"
           "      --connections N  move up to N files at once (1-16), each over its own\n"
           "                  connection, for every site of this run (else the site's own number,\n"
           "                  else option connections, 4); 1 moves one file at a time\n"
           "      --tls       explicit TLS (AUTH TLS) for every site of this run\n"
           "      --trust-cert SHA256  trust the server certificate with this SHA-256 fingerprint\n"
           "                  for this run (a certificate the system's CA store does not trust;\n"
           "                  the refusal message shows the fingerprint); needs TLS\n"
           "      --trust-host-key SHA256:KEY  SFTP: trust the server's host key with this\n"
           "                  fingerprint for this run, when neither ~/.ssh/known_hosts nor the site\n"
           "                  knows it (batch mode never asks: an unknown host key fails the site,\n"
           "                  exit status 2, and the message shows the fingerprint)\n"
           "      --ask-passphrase  SFTP: read the passphrase of an encrypted key file from the\n"
           "                  terminal (otherwise that key is skipped and the log says so)\n"
           "  fernhop --list-sites [--settings DIR]\n"
           "  fernhop --add-site NICK --server HOST [--port N] --user U [--password P | --ask-password]\n"
           "          --local DIR --remote DIR [--download] [--pasv] [--no-multi-site]\n"
           "          [--after-login CMD] [--tls] [--trust-cert SHA256]\n"
           "          [--sftp] [--key FILE] [--trust-host-key SHA256:KEY] [--settings DIR]\n"
           "      --tls       require explicit TLS: no login without it, files encrypted too\n"
           "      --trust-cert SHA256  always trust the certificate with this fingerprint (needs --tls)\n"
           "      --sftp      SFTP over SSH instead of FTP (port 22 unless --port is given)\n"
           "      --key FILE  SFTP: an OpenSSH private key file, tried after the SSH agent's keys\n"
           "                  and before the password (--key \"\" forgets it)\n"
           "      --trust-host-key SHA256:KEY  SFTP: always trust the host key with this fingerprint\n"
           "                  (as ssh shows it); a host key that differs from the trusted one, or\n"
           "                  from ~/.ssh/known_hosts, is refused\n"
           "      A certificate is trusted when the CA store trusts it for the server's name (also\n"
           "      for a site that keeps another fingerprint), else only when its fingerprint is\n"
           "      exactly the one stored or given: a changed self-signed certificate is refused.\n"
           "  fernhop --replace-site NICK [the fields of --add-site, and --upload, --no-pasv,\n"
           "          --in-multi-site, --no-tls, --no-sftp] [--settings DIR]\n"
           "  fernhop --remove-site NICK [--settings DIR]\n"
           "  fernhop --set KEY=VALUE [--set KEY=VALUE ...] [--settings DIR]\n"
           "      any key of the \"Options\" and \"Filter\" sections, for example --set delete=0\n"
           "  fernhop --show-settings [--settings DIR]   (passwords masked)\n"
           "  fernhop --scan DIR      load DIR as a local site tree and print it (exit 1 and\n"
           "                          \"not read: PATH\" on stderr for a directory it could not read)\n"
           "\n"
           "Settings live in --settings DIR, else $FERNHOP_HOME, else $XDG_CONFIG_HOME/fernhop,\n"
           "else ~/.config/fernhop.\n"
           "\n"
           "Exit status: 0 all done; 1 some deletion, creation or transfer failed, a remote\n"
           "directory could not be listed, a local one could not be read, the session ended\n"
           "before the run was done, or the run stopped before deleting (a side empty, or\n"
           "more deletions than allowed);\n"
           "2 could not connect or log in (also a server certificate or SSH host key that is\n"
           "not trusted); 64 bad usage; 75 another batch run is syncing\n"
           "the same site (nothing was done); 78 a settings file is there but holds nothing\n"
           "Fernhop can read (nothing was done; repair or remove it); 130 / 143 stopped by\n"
           "SIGINT / SIGTERM (the run was stopped cleanly and the settings saved; a second\n"
           "signal ends the program at once). With --multi-site, the worst of all sites.\n"
           "A session lost in the middle of a run is reconnected (option reconnectTries).\n";
}
