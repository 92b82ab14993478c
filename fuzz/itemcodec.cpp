// Item values of every stored type, read from untrusted bytes: each decoder
// gives nothing or a value that encodes back to a value it reads the same.
#include <cmath>
#include <cstdlib>

#include "lnapi/store/ItemCodec.h"

namespace store = lnapi::store;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto list = store::DecodeTextList(bytes))
    if (store::DecodeTextList(store::EncodeTextList(*list)) != list) std::abort();
  if (const auto n = store::DecodeNumber(bytes); n && !std::isnan(*n))
    if (store::DecodeNumber(store::EncodeNumber(*n)) != n) std::abort();
  if (const auto t = store::DecodeTime(bytes)) {
    if (store::DecodeTime(store::EncodeTime(*t)) != t) std::abort();
    if (store::ParseTime(store::FormatTime(*t, true)) != t) std::abort();
  }
  if (const auto a = store::DecodeAttachment(bytes)) {
    const auto again = store::DecodeAttachment(store::EncodeAttachment(*a));
    if (!again || again->strFileName != a->strFileName || again->data != a->data) std::abort();
    const auto peek = store::PeekAttachment(bytes);
    if (!peek || peek->first != a->strFileName || peek->second != a->data.size()) std::abort();
  }
  (void)store::ParseTime(bytes);
  return 0;
}
