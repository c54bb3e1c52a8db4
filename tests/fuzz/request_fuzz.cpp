// Fuzz target: a whole value request through the exports, on a real file
// whose content, name, field index, flags and buffer size come from the
// input. The value buffer is a heap block of exactly the given size, so
// that AddressSanitizer stops any write past it.
//
// Input: [index][flags][size, 2 bytes][name mode][name length n][n name bytes][file content...]
// Name mode bit 0: ask through ContentGetValueW (else ContentGetValue);
// bit 1: the name is the real file's path followed by the name bytes (else the name bytes alone).
#include "pdb/system/utf.h"
#include "plugin/contplug.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

std::string FolderPath;

void RemoveFolder() {
  ::unlink((FolderPath + "/f.pdb").c_str());
  ::rmdir(FolderPath.c_str());
}

const std::string& Folder() {
  if (FolderPath.empty()) {
    char pattern[] = "/tmp/korvel-fuzz-XXXXXX";
    Require(::mkdtemp(pattern) != nullptr);
    FolderPath = pattern;
    std::atexit(RemoveFolder);
  }
  return FolderPath;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Require(fd >= 0);
  Require(::write(fd, data, size) == static_cast<ssize_t>(size));
  ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const int index = data[0] % 12 - 2; // -2..9: both edges of the catalogue
  const int flags = static_cast<std::int8_t>(data[1]);
  const int bufferSize = static_cast<std::int16_t>(data[2] | (data[3] << 8));
  const bool wide = (data[4] & 1) != 0;
  const bool realFile = (data[4] & 2) != 0;
  const std::size_t nameLength = data[5] < size - 6 ? data[5] : size - 6;
  const std::string fragment(reinterpret_cast<const char*>(data + 6), nameLength);
  const std::uint8_t* content = data + 6 + nameLength;
  const std::size_t contentSize = size - 6 - nameLength;

  const std::string path = Folder() + "/f.pdb";
  WriteFile(path, content, contentSize);
  std::string name = realFile ? path + fragment : fragment;
  name = name.substr(0, name.find('\0'));

  const std::size_t room = bufferSize > 0 ? static_cast<std::size_t>(bufferSize) : 0;
  const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[room]);
  std::memset(buffer.get(), 0xCD, room);
  int result;
  if (wide) {
    std::vector<char16_t> wideName(Utf8ToUtf16(name.c_str(), nullptr, 0) + 1);
    Utf8ToUtf16(name.c_str(), wideName.data(), wideName.size());
    result = ContentGetValueW(reinterpret_cast<const WideChar*>(wideName.data()), index, 0, buffer.get(),
                              bufferSize, flags);
  } else {
    result = ContentGetValue(name.c_str(), index, 0, buffer.get(), bufferSize, flags);
  }

  if (index < 0 || index > 7) {
    Require(result == FieldNoSuchField);
  } else if ((flags & DelayIfSlow) != 0) {
    Require(result == FieldDelayed);
  } else {
    Require(result == FieldTypeString || result == FieldTypeDate || result == FieldDelayed ||
            result == FieldEmpty);
  }
  if (result == FieldTypeString) {
    const void* end = std::memchr(buffer.get(), 0, room);
    Require(end != nullptr);
    // Linux hosts read every text as UTF-8, cut ones included.
    Require(IsValidUtf8({reinterpret_cast<const char*>(buffer.get()),
                         static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - buffer.get())}));
  }
  if (result == FieldTypeDate) Require(room >= sizeof(FieldDate));
  if (result != FieldTypeString && result != FieldTypeDate) {
    for (std::size_t i = 0; i < room; ++i) Require(buffer[i] == 0xCD);
  }
  return 0;
}
