#pragma once
#include <optional>
#include <string>

// Reads a password from the controlling terminal without echo. Nothing when there is no terminal
// or the user ends the input.
std::optional<std::string> ReadPasswordFromTerminal(const std::string &prompt);
