#include "run/run_id.h"

#include "util/random_bytes.h"

namespace trovik::run {
namespace {

constexpr char kFaultPrefix[] = "could not retrieve random bytes for uuid: ";

// The module's run ids name this failure by what they were for.
Status random_fault(const Status& failure) {
  return Status::InternalFault(std::string(kFaultPrefix) + failure.message());
}

}  // namespace

std::string format_uuid_v4(std::array<uint8_t, 16> bytes) {
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 9562 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(36);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  return text;
}

Result<std::string> new_run_id() {
  std::array<uint8_t, 16> bytes{};
  Status status = fill_random_bytes(bytes.data(), bytes.size());
  if (!status.ok()) return random_fault(status);
  return format_uuid_v4(bytes);
}

}  // namespace trovik::run
