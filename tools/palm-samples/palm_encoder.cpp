#include "tools/palm-samples/palm_encoder.h"

#include <chrono>

namespace {

std::int64_t SecondsSince(std::chrono::sys_days epoch, int year, unsigned month, unsigned day, unsigned hour,
                          unsigned minute, unsigned second) {
  using namespace std::chrono;
  const sys_days date = std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day};
  return (date - epoch).count() * 86400LL + hour * 3600LL + minute * 60LL + second;
}

void AppendBigEndian(std::string& bytes, std::uint32_t value, std::size_t width) {
  std::uint8_t out[4];
  PutBigEndian(out, value, width);
  bytes.append(reinterpret_cast<const char*>(out), width);
}

} // namespace

std::uint32_t PalmDeviceSeconds(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                                unsigned second) {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      SecondsSince(sys_days{std::chrono::year{1904} / January / 1}, year, month, day, hour, minute, second));
}

std::uint32_t UnixSeconds(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                          unsigned second) {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      SecondsSince(sys_days{std::chrono::year{1970} / January / 1}, year, month, day, hour, minute, second));
}

std::string EncodePalmDatabase(const TSampleHeader& header, bool resourceDatabase) {
  const TSampleBytes head = EncodeSampleHeader(header);
  std::string bytes(head.begin(), head.end());
  const std::size_t entrySize = resourceDatabase ? 10 : 8;
  // The two bytes after the list are the customary gap before the first record.
  std::size_t offset = head.size() + header.NumRecords * entrySize + 2;
  std::string records;
  for (std::uint32_t i = 0; i < header.NumRecords; ++i) {
    const std::string record = "record " + std::to_string(i + 1) + '\0';
    if (resourceDatabase) {
      bytes += "tSTR";                     // resource type
      AppendBigEndian(bytes, 1000 + i, 2); // resource id
    }
    AppendBigEndian(bytes, static_cast<std::uint32_t>(offset), 4);
    if (!resourceDatabase) {
      AppendBigEndian(bytes, 0x40, 1);         // attributes: dirty
      AppendBigEndian(bytes, 0x6F0000 + i, 3); // unique id
    }
    offset += record.size();
    records += record;
  }
  bytes += std::string(2, '\0');
  return bytes + records;
}
