#include "serve/access_token.h"

#include "util/random_bytes.h"

namespace trovik::serve {

bool constant_time_equal(std::string_view a, std::string_view b) {
  // The token's length is no secret; its bytes are.
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return difference == 0;
}

Result<AccessToken> AccessToken::generate() {
  Result<std::string> hex = random_hex(16);
  if (!hex.ok())
    return Status::OSError("no random bytes for the access token: " + hex.status().message());
  return AccessToken(std::move(hex.value()));
}

}  // namespace trovik::serve
