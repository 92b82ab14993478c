// An mbox file from anyone: splitting it never reads outside it and every
// message's From_ line either gives a time or does not.
#include <vector>

#include "mail/Mbox.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<mailio::MboxMessage> messages;
  mailio::SplitMbox(bytes, [&](mailio::MboxMessage&& m) { messages.push_back(std::move(m)); });
  (void)mailio::LooksLikeMbox(bytes);
  for (const auto& m : messages) (void)mailio::FromLineTime(m.fromLine);
  return 0;
}
