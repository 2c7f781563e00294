// Any bytes as a BMP or packed DIB file: the reader refuses or converts, never reads outside.
#include <cstddef>
#include <cstdint>
#include <string>

#include "assets/dib_image.h"
#include "platform/message_box.h"

// RLE headers claim big pictures in a few bytes, and filling the program's 64 MiB cap with black
// takes milliseconds; a smaller cap keeps thousands of inputs a second going through the same
// code paths.
constexpr uint64_t kFuzzMaxPixelBytes = 4u << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool silenced = [] {
    korvalin::setMessageSink([](const std::string&) {});
    return true;
  }();
  (void)silenced;
  std::unique_ptr<korvalin::DibImage> image = korvalin::decodeDib(data, size, kFuzzMaxPixelBytes);
  if (image && image->pixels.size() != static_cast<size_t>(image->width) * image->height * 3) __builtin_trap();
  return 0;
}
