// Small owners and helpers around GMime's C objects, shared by the import and
// export of messages. Only this module's .cpp files include it (GMime's
// headers must stay out of everything else, Qt's above all).
#pragma once

#include <gmime/gmime.h>

#include <memory>
#include <string>
#include <string_view>

namespace mailio::gm {

// Initialises GMime once per process; every entry point calls it first.
void EnsureInitialised();

struct GObjectUnref {
  void operator()(void* p) const {
    if (p) g_object_unref(p);
  }
};
template <typename T>
using Ref = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(void* p) const { g_free(p); }
};
using GString = std::unique_ptr<char, GFree>;

inline std::string Str(const char* s) { return s ? std::string(s) : std::string(); }
inline std::string Take(char* s) {
  GString owner(s);
  return Str(owner.get());
}

// A memory stream holding bytes (copied).
Ref<GMimeStream> MemoryStream(std::string_view bytes);
// Everything written to a memory stream.
std::string StreamBytes(GMimeStream* stream);

}  // namespace mailio::gm
