#pragma once
// Shared pieces of the fuzz targets: a view that shows nothing, a settings directory of their
// own, and the failure report for a broken invariant.
#include "../bench/NullView.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace fuzz {

// Answers every prompt with No / cancel, so a run never waits on a person.
class NullView : public ::NullView {
public:
    NullView() { answer = PromptAnswer::No; }
};

// The core yields to the Qt event loop, which needs an application object.
inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

// A private directory for the files a target writes and reads back, under /dev/shm when there
// is one (the targets write a file for every input). Removed when the process exits.
inline const std::string &ScratchDirectory()
{
    static const std::string dir = [] {
        std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/fernhop-fuzz.XXXXXX"
                                                           : "/tmp/fernhop-fuzz.XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string made = pattern;
        std::atexit([] {
            const std::string command = "rm -rf '" + made + "'";
            if (std::system(command.c_str()) != 0)
                std::fprintf(stderr, "could not remove %s\n", made.c_str());
        });
        return pattern;
    }();
    return dir;
}

inline bool WriteFile(const std::string &path, std::string_view bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

// A broken invariant: says which, and aborts so that libFuzzer keeps the input.
[[noreturn]] inline void Fail(const std::string &what)
{
    std::fprintf(stderr, "\n==== fuzz invariant broken: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// Texts in a failure message: printable, with the rest as \xNN.
inline std::string Shown(std::string_view text, size_t limit = 200)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            out += char(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        }
    }
    if (text.size() > limit)
        out += "...";
    return out + "\"";
}

// Takes option bytes from the front of an input; a short input gives zeros.
class InputBytes {
public:
    InputBytes(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte()
    {
        if (pos_ >= size_)
            return 0;
        return data_[pos_++];
    }
    std::string_view Rest() const
    {
        return pos_ >= size_ ? std::string_view()
                             : std::string_view(reinterpret_cast<const char *>(data_) + pos_, size_ - pos_);
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace fuzz
