// Image bytes (PNG, JPEG, GIF, BMP, WebP, TIFF) to a GIF picture for rich
// text, through libgd. Pictures larger than 16384 pixels on a side are refused
// rather than decoded into gigabytes of memory.
//
// Thread-safe. The last few pictures converted are remembered (mail repeats
// its logos), so a repeated picture costs a comparison.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mailio {

struct GifPicture {
  std::string bytes;
  int width = 0;
  int height = 0;
};

// The picture as GIF, or nullopt when the bytes are no image libgd reads.
// A GIF comes back unchanged; other formats are reduced to 256 colours.
[[nodiscard]] std::optional<GifPicture> ConvertToGif(std::string_view image);

}  // namespace mailio
