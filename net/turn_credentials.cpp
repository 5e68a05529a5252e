#include "net/turn_credentials.h"

#include <nettle/base64.h>
#include <nettle/hmac.h>

std::string turn_password(const std::string& secret, const std::string& user) {
    hmac_sha1_ctx hmac;
    hmac_sha1_set_key(&hmac, secret.size(), reinterpret_cast<const uint8_t*>(secret.data()));
    hmac_sha1_update(&hmac, user.size(), reinterpret_cast<const uint8_t*>(user.data()));
    uint8_t digest[SHA1_DIGEST_SIZE];
    hmac_sha1_digest(&hmac, sizeof digest, digest);
    std::string text(BASE64_ENCODE_RAW_LENGTH(sizeof digest), '\0');
    base64_encode_raw(text.data(), sizeof digest, digest);
    return text;
}

TurnCredentials turn_credentials(const std::string& secret, int64_t expiry_unix, const std::string& tag) {
    TurnCredentials c;
    c.user = std::to_string(expiry_unix) + ":" + tag;
    c.password = turn_password(secret, c.user);
    return c;
}

int64_t turn_expiry(const std::string& user) {
    size_t colon = user.find(':');
    if (colon == 0 || colon == std::string::npos || colon > 18) return -1;
    int64_t t = 0;
    for (size_t i = 0; i < colon; ++i) {
        if (user[i] < '0' || user[i] > '9') return -1;
        t = t * 10 + (user[i] - '0');
    }
    return t;
}
