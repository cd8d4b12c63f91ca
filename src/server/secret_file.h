#pragma once

#include <string>
#include <string_view>

namespace vesmera {

// Secrets (a bearer token, a password, a TLS private key) are named in the configuration by
// file, never written into it, so the configuration itself can stay readable.
//
// Where a named secret is read from: an absolute name as it is; a relative name in the
// credentials directory systemd gave the service ($CREDENTIALS_DIRECTORY, from LoadCredential=)
// when there is one, otherwise beside the configuration file.
std::string SecretFilePath(std::string_view name, std::string_view configPath,
                           std::string_view credentialsDirectory);
// $CREDENTIALS_DIRECTORY, or empty outside a service that was given credentials.
std::string CredentialsDirectory();

enum class SecretForm {
    kLine,  // a token or password: one line, its line end dropped
    kWhole, // a key file: every byte as it is
};

// The secret in the file. An Exception, with the path and the reason, for a file that cannot
// be read, is not a regular file, is readable by every user, is empty, is larger than 1 MiB
// (systemd's limit for all of a service's credentials), or, read as a line, holds more than one.
std::string ReadSecretFile(const std::string& path, SecretForm form);

} // namespace vesmera
