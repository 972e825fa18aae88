#include "transfer/RemotePath.h"

std::string FormatRemotePath(const std::string &text, const Options &options)
{
    if (options.slash)
        return text;
    size_t start = text.find_first_not_of('~');
    if (start == std::string::npos)
        start = text.size();
    start = text.find_first_not_of('/', start);
    if (start == std::string::npos)
        start = text.size();
    std::string path = "/" + text.substr(start);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (options.tilde)
        path.insert(0, "~");
    return path;
}
