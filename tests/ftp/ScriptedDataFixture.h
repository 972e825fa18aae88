#pragma once
// The scripted server set up for data operations, run in active or passive mode (the test's
// parameter), with a local folder for the files.
#include "ftp/ScriptedFtpFixture.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <dirent.h>

#include <fstream>
#include <sstream>

// Rules a data operation needs besides its own; given after the test's rules, so those win.
inline const char *const kDataRules = R"(
    {"match": "^PWD$", "reply": "257 \"/www\" is the current directory."},
    {"match": "^TYPE ", "reply": "200 Type set."},
    {"match": "^PASV$", "action": "pasv"},
    {"match": "^PORT ", "action": "port"},
    {"match": "^NOOP$", "reply": "200 NOOP ok."})";

inline Lines operator+(Lines first, const Lines &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

inline std::string DataRules(const std::string &own) { return own.empty() ? kDataRules : own + "," + kDataRules; }

inline std::string Base64(const std::string &bytes)
{
    return QByteArray(bytes.data(), qsizetype(bytes.size())).toBase64().toStdString();
}

inline std::string ReadLocalFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// Open file descriptors of this process, to see that a transfer leaves none behind.
inline int OpenDescriptors()
{
    int count = 0;
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir))
            ++count;
        ::closedir(dir);
    }
    return count;
}

class ScriptedData : public ScriptedFtp, public ::testing::WithParamInterface<bool> {
protected:
    void StartData(const std::string &rules)
    {
        ASSERT_TRUE(local.isValid());
        ASSERT_NO_FATAL_FAILURE(StartLoggedIn(DataRules(rules)));
    }

    bool Passive() const { return GetParam(); }
    void List() { Passive() ? client.GetListingPasv() : client.GetListing(); }
    void Get() { Passive() ? client.GetFilePasv() : client.GetFile(); }
    void Put() { Passive() ? client.PutFilePasv() : client.PutFile(); }
    void Check(const std::string &dir) { Passive() ? client.SendCheckFilePasv(dir) : client.SendCheckFile(dir); }

    std::string LocalPath(const std::string &name) const { return local.path().toStdString() + "/" + name; }
    void WriteLocal(const std::string &name, const std::string &content)
    {
        std::ofstream(LocalPath(name), std::ios::binary) << content;
    }

    // The commands after the login, with PORT's changing argument left out.
    Lines Commands() const
    {
        Lines commands = CommandsAfterLogin();
        for (std::string &c : commands)
            if (c.rfind("PORT ", 0) == 0)
                c = "PORT";
        return commands;
    }
    // The commands that open the data connection in this test's mode.
    Lines OpenData(const Lines &before) const
    {
        Lines all = before;
        all.push_back(Passive() ? "PASV" : "PORT");
        return all;
    }

    QTemporaryDir local;
};

inline std::string ModeName(const ::testing::TestParamInfo<bool> &info) { return info.param ? "passive" : "active"; }
