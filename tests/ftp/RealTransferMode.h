#pragma once
// What the transfer tests against the real servers share: the server and mode a case runs with,
// file bodies with every byte value, and a local file read back whole.
#include "support/FtpServers.h"

#include <fstream>
#include <random>
#include <sstream>
#include <string>

struct Mode {
    fernhop::test::RealFtpServer::Kind kind;
    bool passive;
};

inline std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char &c : bytes)
        c = char(random() & 0xFF);
    return bytes;
}

inline std::string ReadLocal(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}
