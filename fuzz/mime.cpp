// One mail message from anyone: import gives a document or an error, the
// same with the body scanned as with the whole message parsed, and an
// imported document exported and imported again is the same document (its
// fields and its kept bytes): a message goes through the store unchanged.
#include <cstdlib>

#include "mail/MimeExport.h"
#include "mail/MimeImport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const mailio::MessageResult first = mailio::ImportMessage(bytes);
  if (first.doc.has_value() == !first.error.empty()) std::abort();
  mailio::ImportOptions whole;
  whole.bScanBody = false;
  const mailio::MessageResult parsed = mailio::ImportMessage(bytes, whole);
  if (parsed.doc.has_value() != first.doc.has_value() || (first.doc && parsed.doc->items != first.doc->items))
    std::abort();
  if (!first.doc) return 0;
  const mailio::MessageResult again = mailio::ImportMessage(mailio::ExportMessage(*first.doc));
  if (!again.doc || again.doc->items != first.doc->items) std::abort();
  return 0;
}
