#pragma once
// Files and trees on disk for the tests that run the program: write a tree, read it back.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace fernhop::test {

inline std::string ReadFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The file is dated a minute back, as a site's files are when a run starts: one written in the
// second the scan reads it is sent again by the next run, which would make a test's later runs
// depend on the machine's speed. Files written later are still dated later.
inline void WriteFile(const std::filesystem::path &path, const std::string &content)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
}

// Every file below `root` with its content, and every directory, by relative path; the listing
// cache files and the clock check file are the program's own and left out.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path &root)
{
    std::map<std::string, std::string> out;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string rel = std::filesystem::relative(entry.path(), root).string();
        if (rel.find(".fhx") != std::string::npos || rel == "fernhop.chk")
            continue;
        out[rel] = entry.is_directory() ? "<dir>" : ReadFile(entry.path());
    }
    return out;
}

inline size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

} // namespace fernhop::test
