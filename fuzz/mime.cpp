// One mail message from anyone: import gives a document or an error, and an
// imported document exported and imported again is a document. With
// TARNWICK_FUZZ_MAIL_ROUNDTRIP=1 it must also be the same document (mail
// export is being rewritten to give that; until then it is not asked).
#include <cstdlib>

#include "mail/MimeExport.h"
#include "mail/MimeImport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const mailio::MessageResult first = mailio::ImportMessage(bytes);
  if (first.doc.has_value() == !first.error.empty()) std::abort();
  if (!first.doc) return 0;
  const mailio::MessageResult again = mailio::ImportMessage(mailio::ExportMessage(*first.doc));
  static const bool bSame = std::getenv("TARNWICK_FUZZ_MAIL_ROUNDTRIP") != nullptr;
  if (!again.doc || (bSame && again.doc->items != first.doc->items)) std::abort();
  return 0;
}
