#include "app/PasswordPrompt.h"

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

std::optional<std::string> ReadPasswordFromTerminal(const std::string &prompt)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    termios saved{};
    const bool isTerminal = ::tcgetattr(fd, &saved) == 0;
    if (!isTerminal) {
        ::close(fd);
        return std::nullopt;
    }
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    (void)!::write(fd, prompt.data(), prompt.size());
    std::string password;
    bool ended = false;
    char c = 0;
    while (true) {
        ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) {
            ended = password.empty();
            break;
        }
        if (c == '\n' || c == '\r')
            break;
        password += c;
    }
    ::tcsetattr(fd, TCSAFLUSH, &saved);
    (void)!::write(fd, "\n", 1);
    ::close(fd);
    if (ended)
        return std::nullopt;
    return password;
}
