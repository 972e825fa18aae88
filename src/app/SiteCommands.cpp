#include "app/SiteCommands.h"

#include "app/ConsoleView.h"
#include "app/PasswordPrompt.h"
#include "config/OptionKeys.h"
#include "config/Settings.h"
#include "config/SettingsDir.h"
#include "config/SiteList.h"

#include <QDir>

namespace {

std::string Direction(const TmultFTP &site) { return site.Download ? "download" : "upload"; }

std::string Protocol(const TmultFTP &site) { return site.UseSftp ? "sftp" : site.RequireTls ? "ftp+tls" : "ftp"; }

std::string OrDash(const std::string &text) { return text.empty() ? "-" : text; }

// "server:port"; IPv6 text goes in brackets, so that the port stays apart from the address.
std::string ServerAndPort(const TmultFTP &site)
{
    const bool bare = site.Server.find(':') != std::string::npos && site.Server.front() != '[';
    return (bare ? "[" + site.Server + "]" : site.Server) + ":" + std::to_string(site.Port);
}

// Loads the list, telling the user about sites whose port could not be read.
void LoadSites(SiteList &sites, std::FILE *err)
{
    for (const std::string &message : sites.Load())
        std::fprintf(err, "%s\n", message.c_str());
}

int SaveSites(const SiteList &sites, std::FILE *err)
{
    if (!EnsureSettingsDirectory()) {
        std::fprintf(err, "Unable to write to %s\n", SettingsDirectory().c_str());
        return 1;
    }
    std::string problem = sites.Save();
    if (!problem.empty()) {
        std::fprintf(err, "%s\n", problem.c_str());
        return 1;
    }
    return 0;
}

std::string AbsoluteLocal(const std::string &path)
{
    return QDir(QString::fromStdString(path)).absolutePath().toStdString();
}

// Fills the edit boxes from the given fields; false when the password could not be read.
bool ApplyFields(SiteEdits &edits, const SiteFields &f, std::FILE *err)
{
    if (f.server)
        edits.server = *f.server;
    // The protocol before the port: a port left at the old protocol's default follows it.
    if (f.sftp)
        SetEditsProtocol(edits, true, false);
    if (f.noSftp)
        SetEditsProtocol(edits, false, edits.requireTls);
    if (f.tls)
        SetEditsProtocol(edits, false, true);
    if (f.noTls)
        edits.requireTls = false;
    if (f.keyFile)
        edits.keyFile = f.keyFile->empty() ? std::string() : AbsoluteLocal(*f.keyFile);
    if (f.port)
        edits.port = *f.port;
    if (f.user)
        edits.userName = *f.user;
    if (f.password)
        edits.password = *f.password;
    if (f.askPassword) {
        std::optional<std::string> typed = ReadPasswordFromTerminal("Password: ");
        if (!typed) {
            std::fprintf(err, "No terminal to read the password from\n");
            return false;
        }
        edits.password = *typed;
    }
    if (f.local)
        edits.localDir = AbsoluteLocal(*f.local);
    if (f.remote)
        edits.remoteDir = *f.remote;
    if (f.pasv)
        edits.usePasv = true;
    if (f.noPasv)
        edits.usePasv = false;
    return true;
}

// Direction, multi-site flag and after-login command of the current row, as the row popup and
// the advanced form set them.
std::string ApplyRowFlags(SiteList &sites, const SiteFields &f)
{
    const TmultFTP &site = sites.Current();
    if ((f.download && !site.Download) || (f.upload && site.Download))
        sites.ToggleDownload();
    if ((f.noMultiSite && site.MultiSite) || (f.multiSite && !site.MultiSite))
        sites.ToggleMultiSite();
    if (f.trustCert)
        if (std::string problem = sites.SetTrustedCertificate(*f.trustCert); !problem.empty())
            return problem;
    if (f.trustHostKey)
        if (std::string problem = sites.SetTrustedHostKey(*f.trustHostKey); !problem.empty())
            return problem;
    if (f.afterLogin)
        return sites.SetAfterLoginCommand(*f.afterLogin);
    return {};
}

int FindSite(const SiteList &sites, const std::string &nick, std::FILE *err)
{
    int row = sites.FindNickName(nick);
    if (row < 0)
        std::fprintf(err, "No site with the nickname %s\n", nick.c_str());
    return row;
}

} // namespace

int ListSitesCommand(std::FILE *out, std::FILE *err)
{
    SiteList sites;
    LoadSites(sites, err);
    for (int i = 0; i < sites.Count(); ++i) {
        const TmultFTP &s = sites.Row(i);
        // The protocol, key file and trusted host key come last, so that scripts reading the
        // first columns read them as before.
        std::fprintf(out, "%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", s.NickName.c_str(), Direction(s).c_str(),
                     ServerAndPort(s).c_str(), s.LocalDir.c_str(), s.RemoteDir.c_str(),
                     s.MultiSite ? "multi-site" : "-", Protocol(s).c_str(), OrDash(s.KeyFile).c_str(),
                     OrDash(s.TrustedHostKey).c_str());
    }
    return 0;
}

int AddSiteCommand(const CommandLine &cl, std::FILE *out, std::FILE *err)
{
    SiteList sites;
    LoadSites(sites, err);
    if (sites.FindNickName(cl.nickName) >= 0) {
        std::fprintf(err, "A site with the nickname %s exists already; use --replace-site\n", cl.nickName.c_str());
        return kExitUsage;
    }
    sites.New();
    sites.edits.nickName = cl.nickName;
    if (!ApplyFields(sites.edits, cl.fields, err))
        return 1;
    std::string problem = sites.Add();
    if (problem.empty())
        problem = ApplyRowFlags(sites, cl.fields);
    if (!problem.empty()) {
        std::fprintf(err, "%s\n", problem.c_str());
        return 1;
    }
    int status = SaveSites(sites, err);
    if (status == 0)
        std::fprintf(out, "Added site %s\n", cl.nickName.c_str());
    return status;
}

int ReplaceSiteCommand(const CommandLine &cl, std::FILE *out, std::FILE *err)
{
    SiteList sites;
    LoadSites(sites, err);
    const int row = FindSite(sites, cl.nickName, err);
    if (row < 0)
        return 1;
    const int active = sites.ActiveIndex();
    sites.ChooseRow(row);
    if (!ApplyFields(sites.edits, cl.fields, err))
        return 1;
    if (cl.fields.trustCert && !sites.edits.requireTls) {
        std::fprintf(err, "fernhop: %s\n", kTrustCertNeedsTls);
        return kExitUsage;
    }
    if ((cl.fields.trustHostKey || (cl.fields.keyFile && !cl.fields.keyFile->empty())) && !sites.edits.useSftp) {
        std::fprintf(err, "fernhop: --key and --trust-host-key are for SFTP sites: give --sftp too\n");
        return kExitUsage;
    }
    std::string problem = sites.Replace();
    if (problem.empty())
        problem = ApplyRowFlags(sites, cl.fields);
    if (!problem.empty()) {
        std::fprintf(err, "%s\n", problem.c_str());
        return 1;
    }
    sites.ChooseRow(active); // the window's selected site stays as it was
    int status = SaveSites(sites, err);
    if (status == 0)
        std::fprintf(out, "Replaced site %s\n", cl.nickName.c_str());
    return status;
}

int RemoveSiteCommand(const CommandLine &cl, std::FILE *out, std::FILE *err)
{
    SiteList sites;
    LoadSites(sites, err);
    const int row = FindSite(sites, cl.nickName, err);
    if (row < 0)
        return 1;
    sites.ChooseRow(row);
    sites.Delete();
    int status = SaveSites(sites, err);
    if (status == 0)
        std::fprintf(out, "Removed site %s\n", cl.nickName.c_str());
    return status;
}

int SetOptionsCommand(const CommandLine &cl, std::FILE *out, std::FILE *err)
{
    Options options;
    IgnoreLists ignore;
    ExtensionTable extensions;
    ConsoleView view;
    view.quiet = true;
    SettingsBaseline baseline; // only the keys set here are written
    SettingsData data{options, ignore, extensions, &baseline};
    LoadSettings(data, view);
    LoadScreenSettings(options.screen);
    for (const auto &[key, value] : cl.sets) {
        std::string problem = SetOptionFromText(options, key, value);
        if (!problem.empty()) {
            std::fprintf(err, "%s\n", problem.c_str());
            return kExitUsage;
        }
    }
    if (!EnsureSettingsDirectory()) {
        std::fprintf(err, "Unable to write to %s\n", SettingsDirectory().c_str());
        return 1;
    }
    std::string problem = SaveSettings(data, view);
    if (!problem.empty()) {
        std::fprintf(err, "%s\n", problem.c_str());
        return 1;
    }
    for (const auto &[key, value] : cl.sets)
        std::fprintf(out, "%s=%s\n", key.c_str(), value.c_str());
    return 0;
}

int ShowSettingsCommand(std::FILE *out, std::FILE *err)
{
    Options options;
    IgnoreLists ignore;
    ExtensionTable extensions;
    ConsoleView view;
    view.quiet = true;
    LoadSettings(SettingsData{options, ignore, extensions}, view);
    std::fprintf(out, "Settings directory: %s\n\n[Options]\n", SettingsDirectory().c_str());
    for (const auto &[key, value] : OptionTexts(options))
        std::fprintf(out, "%s=%s\n", key.c_str(), value.c_str());
    std::fprintf(out, "\n[Proxy]\nserver=%s\nport=%d\nactive=%d\n", options.proxy.server.c_str(),
                 options.proxy.port, options.proxy.active ? 1 : 0);
    auto printList = [out](const char *title, const IgnoreList &list) {
        std::fprintf(out, "\n[%s]\n", title);
        for (const std::string &item : list.Items())
            std::fprintf(out, "%s\n", item.c_str());
    };
    printList("ignore files", ignore.names);
    printList("ignore lead", ignore.lead);
    printList("ignore extensions", ignore.extensions);
    std::fprintf(out, "\n[conversion]\n");
    for (const ExtensionRow &row : extensions.rows)
        std::fprintf(out, "%s %s %s\n", row.transfer.c_str(), row.extCase.c_str(), row.extension.c_str());
    // As the settings file names them: "1".."8" the files, "1c".."8c" the switches.
    std::fprintf(out, "\n[Sound]\n");
    for (size_t i = 0; i < options.sound.file.size(); ++i)
        std::fprintf(out, "%zu=%s\n", i + 1, options.sound.file[i].c_str());
    for (size_t i = 0; i < options.sound.on.size(); ++i)
        std::fprintf(out, "%zuc=%d\n", i + 1, options.sound.on[i] ? 1 : 0);
    ScreenOptions screen;
    LoadScreenSettings(screen);
    std::fprintf(out, "\n[Screen]\nwidth=%d\nheight=%d\ntop=%d\nleft=%d\nmaximize=%d\nminimize=%d\nsplit=%d\n",
                 screen.width, screen.height, screen.top, screen.left, screen.maximize ? 1 : 0,
                 screen.minimize ? 1 : 0, screen.split);
    SiteList sites;
    LoadSites(sites, err);
    std::fprintf(out, "\n[FTP sites]\n");
    for (int i = 0; i < sites.Count(); ++i) {
        const TmultFTP &s = sites.Row(i);
        std::fprintf(out, "%s: %s %s@%s password=%s local=%s remote=%s%s%s\n", s.NickName.c_str(),
                     Direction(s).c_str(), s.UserName.c_str(), ServerAndPort(s).c_str(),
                     s.Password.empty() ? "(none)" : "*****", s.LocalDir.c_str(), s.RemoteDir.c_str(),
                     s.UsePasv ? " pasv" : "", s.MultiSite ? " multi-site" : "");
        // The after-login command may hold a secret: only whether there is one.
        std::string more = s.UseSftp ? "sftp" : s.RequireTls ? "tls" : "no-tls";
        if (s.UseSftp)
            more += " key=" + (s.KeyFile.empty() ? std::string("(none)") : s.KeyFile);
        if (!s.TrustedHostKey.empty())
            more += " trusted host key " + s.TrustedHostKey;
        if (!s.TrustedCert.empty())
            more += " trusted certificate " + s.TrustedCert;
        if (s.Connections > 0)
            more += " connections=" + std::to_string(s.Connections);
        if (!s.AfterLoginCommand.empty())
            more += " after-login=*****";
        std::fprintf(out, "    %s\n", more.c_str());
    }
    return 0;
}
