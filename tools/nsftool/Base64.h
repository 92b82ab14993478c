// Standard base64 (RFC 4648, with padding). Pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nsftool {

std::string EncodeBase64(std::string_view bytes);
// std::nullopt for text that is not base64 (bad character, bad length or
// padding). Whitespace is not allowed.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace nsftool
