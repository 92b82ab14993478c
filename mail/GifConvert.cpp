#include "mail/GifConvert.h"

#include <gd.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace mailio {

namespace {

struct ImageDeleter {
  void operator()(gdImage* im) const { gdImageDestroy(im); }
};
using ImagePtr = std::unique_ptr<gdImage, ImageDeleter>;

constexpr int kMaxSide = 16384;

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

ImagePtr Decode(std::string_view image) {
  // libgd takes a non-const pointer but does not write through it.
  void* data = const_cast<char*>(image.data());
  const int size = static_cast<int>(image.size());
  if (StartsWith(image, "\x89PNG")) return ImagePtr(gdImageCreateFromPngPtr(size, data));
  if (StartsWith(image, "\xFF\xD8")) return ImagePtr(gdImageCreateFromJpegPtrEx(size, data, 1));
  if (StartsWith(image, "GIF8")) return ImagePtr(gdImageCreateFromGifPtr(size, data));
  if (StartsWith(image, "BM")) return ImagePtr(gdImageCreateFromBmpPtr(size, data));
  if (StartsWith(image, "RIFF") && image.size() > 12 && image.substr(8, 4) == "WEBP")
    return ImagePtr(gdImageCreateFromWebpPtr(size, data));
  if (StartsWith(image, std::string_view("II*\0", 4)) || StartsWith(image, std::string_view("MM\0*", 4)))
    return ImagePtr(gdImageCreateFromTiffPtr(size, data));
  return nullptr;
}

// Reads the logical screen size of a GIF header, so oversize pictures are
// refused before libgd allocates for them.
bool GifTooLarge(std::string_view image) {
  if (image.size() < 10) return false;
  auto u16 = [&](std::size_t at) {
    return static_cast<unsigned char>(image[at]) | (static_cast<unsigned char>(image[at + 1]) << 8);
  };
  return u16(6) > kMaxSide || u16(8) > kMaxSide;
}

std::uint32_t BigEndian(std::string_view s, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

bool PngTooLarge(std::string_view image) {
  if (image.size() < 24) return false;
  return BigEndian(image, 16, 4) > kMaxSide || BigEndian(image, 20, 4) > kMaxSide;
}

// Walks the JPEG segments up to the first start-of-frame marker.
bool JpegTooLarge(std::string_view image) {
  std::size_t at = 2;
  while (at + 9 < image.size()) {
    if (static_cast<unsigned char>(image[at]) != 0xFF) return false;
    const auto marker = static_cast<unsigned char>(image[at + 1]);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
      return BigEndian(image, at + 5, 2) > kMaxSide || BigEndian(image, at + 7, 2) > kMaxSide;
    at += 2 + BigEndian(image, at + 2, 2);
  }
  return false;
}

std::optional<GifPicture> Convert(std::string_view image);

// The last pictures converted. Mail repeats its pictures (a logo in every
// signature, a newsletter's banner), and reducing colours is most of what a
// conversion costs. Entries are matched by their whole bytes.
class RecentPictures {
public:
  std::optional<std::optional<GifPicture>> Find(std::string_view image) {
    const std::size_t hash = std::hash<std::string_view>()(image);
    std::lock_guard lock(m_mutex);
    for (const Entry& e : m_entries)
      if (e.hash == hash && e.image == image) return e.picture;
    return std::nullopt;
  }
  void Add(std::string_view image, const std::optional<GifPicture>& picture) {
    if (image.size() > kMaxImageBytes) return;
    Entry e{std::hash<std::string_view>()(image), std::string(image), picture};
    std::lock_guard lock(m_mutex);
    if (m_entries.size() < kEntries) m_entries.push_back(std::move(e));
    else m_entries[m_nNext++ % kEntries] = std::move(e);
  }

private:
  static constexpr std::size_t kEntries = 32, kMaxImageBytes = 256 * 1024;
  struct Entry {
    std::size_t hash;
    std::string image;
    std::optional<GifPicture> picture;
  };
  std::mutex m_mutex;
  std::vector<Entry> m_entries;
  std::size_t m_nNext = 0;
};

}  // namespace

std::optional<GifPicture> ConvertToGif(std::string_view image) {
  static RecentPictures recent;
  if (auto known = recent.Find(image)) return *known;
  std::optional<GifPicture> picture = Convert(image);
  recent.Add(image, picture);
  return picture;
}

namespace {

std::optional<GifPicture> Convert(std::string_view image) {
  if (image.empty() || image.size() > 0x7FFFFFFF) return std::nullopt;
  if (StartsWith(image, "GIF8") && GifTooLarge(image)) return std::nullopt;
  if (StartsWith(image, "\x89PNG") && PngTooLarge(image)) return std::nullopt;
  if (StartsWith(image, "\xFF\xD8") && JpegTooLarge(image)) return std::nullopt;
  ImagePtr im = Decode(image);
  if (!im) return std::nullopt;
  GifPicture out;
  out.width = gdImageSX(im.get());
  out.height = gdImageSY(im.get());
  if (out.width <= 0 || out.height <= 0 || out.width > kMaxSide || out.height > kMaxSide)
    return std::nullopt;
  if (StartsWith(image, "GIF8")) {
    out.bytes.assign(image);
    return out;
  }
  int size = 0;
  void* gif = gdImageGifPtr(im.get(), &size);  // converts true colour to a palette itself
  if (!gif || size <= 0) {
    if (gif) gdFree(gif);
    return std::nullopt;
  }
  out.bytes.assign(static_cast<const char*>(gif), static_cast<std::size_t>(size));
  gdFree(gif);
  return out;
}

}  // namespace

}  // namespace mailio
