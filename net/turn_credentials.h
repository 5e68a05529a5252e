#pragma once
// Short-lived credentials for a TURN relay that shares one secret with the meeting
// server (coturn's use-auth-secret and static-auth-secret, the TURN REST scheme): the
// user name is "EXPIRY:TAG", EXPIRY the Unix time after which the relay refuses it, and
// the password is base64(HMAC-SHA1(secret, user name)). The relay checks both with the
// secret alone, so the meeting server and the relay share nothing but the secret, and
// the secret itself never leaves either of them. HMAC-SHA1 and base64 are nettle's.
#include <cstdint>
#include <string>

struct TurnCredentials {
    std::string user, password;
};

// The credentials for `tag` (printable, no colon) that the relay accepts until
// `expiry_unix` (seconds since 1970).
TurnCredentials turn_credentials(const std::string& secret, int64_t expiry_unix, const std::string& tag);
// The password the relay expects for a user name, under the secret.
std::string turn_password(const std::string& secret, const std::string& user);
// The expiry a user name of this scheme carries; -1 if it carries none.
int64_t turn_expiry(const std::string& user);
