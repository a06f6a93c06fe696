// The packet and delta decoders: any bytes are read or refused with
// fw::Error; what is read writes back to text that reads as the same value.

#include "framework/data/errors.h"
#include "framework/data/packet.h"

#include <cstdint>
#include <cstdlib>

namespace {

template <typename Packet>
void RoundTrip(QByteArrayView text) {
  Packet first;
  try {
    first = Packet::fromJson(text);
  } catch (const fw::Error&) {
    return;
  }
  const QByteArray written = first.toJson();
  try {
    if (!(Packet::fromJson(written) == first)) std::abort();
  } catch (const fw::Error&) {
    std::abort();  // the decoder refuses what the encoder wrote
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
  RoundTrip<fw::DataPacket>(text);
  RoundTrip<fw::DeltaPacket>(text);
  return 0;
}
