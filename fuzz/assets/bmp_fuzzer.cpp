// Any bytes as a BMP or packed DIB file: the reader refuses or converts, never reads outside.
#include <cstddef>
#include <cstdint>
#include <string>

#include "assets/dib_image.h"
#include "platform/message_box.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool silenced = [] {
    korvalin::setMessageSink([](const std::string&) {});
    return true;
  }();
  (void)silenced;
  std::unique_ptr<korvalin::DibImage> image = korvalin::decodeDib(data, size);
  if (image && image->pixels.size() != static_cast<size_t>(image->width) * image->height * 3) __builtin_trap();
  return 0;
}
