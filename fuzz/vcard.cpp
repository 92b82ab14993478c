// vCard text from anyone: every card is read as a document or an error, and
// a document written and read again is the same document.
#include <cstdlib>

#include "mail/VCard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  mailio::ReadVCards(bytes, [](mailio::CardResult&& card) {
    if (card.doc.has_value() == !card.error.empty()) std::abort();
    if (!card.doc) return;
    const std::string written = mailio::WriteVCard(*card.doc);
    int n = 0;
    mailio::ReadVCards(written, [&](mailio::CardResult&& again) {
      if (++n > 1 || !again.doc || again.doc->items != card.doc->items) std::abort();
    });
    if (n != 1) std::abort();
  });
  return 0;
}
