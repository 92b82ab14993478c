#include "mail/GMimeSupport.h"

#include <mutex>

namespace mailio::gm {

void EnsureInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

Ref<GMimeStream> MemoryStream(std::string_view bytes) {
  GByteArray* array = g_byte_array_sized_new(static_cast<guint>(bytes.size()));
  g_byte_array_append(array, reinterpret_cast<const guint8*>(bytes.data()),
                      static_cast<guint>(bytes.size()));
  return Ref<GMimeStream>(g_mime_stream_mem_new_with_byte_array(array));  // the stream owns array
}

std::string StreamBytes(GMimeStream* stream) {
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
  if (!array || !array->data) return {};
  return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

}  // namespace mailio::gm
