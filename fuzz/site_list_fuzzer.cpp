// The site list file. The first byte picks the form of the rest:
//   even: site lines as text, one a line, stored enciphered as a hand-made or older file would
//         hold them (the second byte is the stored active row), and every line must load as a row;
//   odd:  the file FERNHOP.FTP itself.
// The list is loaded, saved (which must succeed) and loaded again, which must give the same rows.
#include "SettingsFiles.h"

#include "config/Cipher.h"
#include "config/SettingsCheck.h"
#include "config/SiteList.h"

namespace {

std::string Describe(const TmultFTP &s)
{
    return MaskedSiteLine(s) + " password " + fuzz::Shown(s.Password) + " key " + s.CacheKey;
}

bool Same(const TmultFTP &a, const TmultFTP &b)
{
    return a.NickName == b.NickName && a.Server == b.Server && a.UserName == b.UserName &&
           a.Password == b.Password && a.LocalDir == b.LocalDir && a.RemoteDir == b.RemoteDir &&
           a.AfterLoginCommand == b.AfterLoginCommand && a.CacheKey == b.CacheKey && a.UsePasv == b.UsePasv &&
           a.MultiSite == b.MultiSite && a.Download == b.Download && a.Port == b.Port &&
           a.SavedPcTime == b.SavedPcTime && a.SavedServerTime == b.SavedServerTime;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ClearSettingsHome();
    fuzz::InputBytes input(data, size);
    const uint8_t form = input.Byte();
    const std::string path = SettingsFilePath(kSiteListFile);
    int lines = -1;
    if (form % 2 == 0) {
        const uint8_t active = input.Byte();
        std::string file = "[Active Site]\r\nnumber=" + std::to_string(active) + "\r\n\r\n[FTP sites]\r\n";
        lines = 0;
        std::string_view text = input.Rest();
        while (!text.empty()) {
            const size_t end = text.find('\n');
            const std::string_view line = text.substr(0, end).substr(0, TCipher::kMaxTextBytes);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            if (line.empty() || line.front() == '\0')
                continue; // enciphers to nothing, so it cannot be stored
            file += EncipherText(line) + "=" + std::to_string(lines++) + "\r\n";
        }
        if (!fuzz::WriteFile(path, file))
            fuzz::Fail("cannot write " + path);
    } else if (!fuzz::WriteFile(path, input.Rest())) {
        fuzz::Fail("cannot write " + path);
    }

    // A file that is there but holds no section is reported, and no save may write over it.
    const bool unusable = !SettingsFileProblem(kSiteListFile).empty();
    SiteList first;
    first.Load();
    if (lines >= 0 && first.Count() != lines)
        fuzz::Fail("a file of " + std::to_string(lines) + " site lines loaded " + std::to_string(first.Count()) +
                   " rows");
    const std::string problem = first.Save();
    if (!problem.empty()) {
        if (unusable)
            return 0;
        fuzz::Fail("a site list that loaded could not be saved: " + problem);
    }

    SiteList second;
    second.Load();
    if (second.Count() != first.Count())
        fuzz::Fail("a save and load turned " + std::to_string(first.Count()) + " rows into " +
                   std::to_string(second.Count()));
    for (int i = 0; i < first.Count(); ++i)
        if (!Same(first.Row(i), second.Row(i)))
            fuzz::Fail("a save and load changed row " + std::to_string(i) + ": " + Describe(first.Row(i)) +
                       " became " + Describe(second.Row(i)));
    if (first.ActiveIndex() != second.ActiveIndex() || first.CurrentRow() != second.CurrentRow())
        fuzz::Fail("a save and load changed the active row");
    return 0;
}
