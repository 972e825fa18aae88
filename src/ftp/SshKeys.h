#pragma once
// SSH keys as OpenSSH users know them: a host key's type name and SHA256 fingerprint, the
// known_hosts verdict on a server's key, and whether a private key file needs its passphrase.
#include <libssh2.h>

#include <cstddef>
#include <string>

// The key type a host key blob names ("ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa").
std::string HostKeyTypeName(const char *key, size_t length);
// "SHA256:" and the unpadded base64 of a 32-byte SHA-256, as ssh-keygen -l prints it.
std::string Sha256Fingerprint(const char *hash);

enum class KnownHost { match, changed, unknown };
// The server's key against the known hosts file (hashed and plain entries, "[host]:port" for a
// port other than 22). A line libssh2 cannot read is passed over, so that one odd entry does not
// hide the rest. A missing file knows no host.
KnownHost CheckKnownHost(LIBSSH2_SESSION *session, const std::string &file, const std::string &host, int port,
                         const char *key, size_t length, int keyType);

enum class KeyFile { unreadable, plain, encrypted };
// OpenSSH's own format (its cipher name) and PEM ("ENCRYPTED" in the header).
KeyFile KeyFileProtection(const std::string &path);
