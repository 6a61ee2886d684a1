// The little of a C and C++ runtime that the program needs, on calls that
// Windows 95 has, so that the executable needs no runtime DLL. The compiler
// may turn byte loops into calls of these very functions, so this file is
// built with that turned off.
#include <windows.h>

#include <cstddef>
#include <new>
#include <string>

#include "platform/win32/runtime.h"

// std::string is compiled here, for the processor the program is built for,
// rather than taken from the prebuilt library.
template class std::basic_string<char>;

void* operator new(std::size_t size) {
  void* block = HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
  if (block == nullptr) EndRunOutOfMemory();
  return block;
}

void* operator new[](std::size_t size) {
  return operator new(size);
}

void operator delete(void* block) noexcept {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

void operator delete[](void* block) noexcept {
  operator delete(block);
}

void operator delete(void* block, std::size_t /*size*/) noexcept {
  operator delete(block);
}

void operator delete[](void* block, std::size_t /*size*/) noexcept {
  operator delete(block);
}

// The library's checks (a size beyond what a string can hold, a call of an
// empty function object) end the run as running out of memory does.
namespace std {

void __throw_bad_alloc() {
  EndRunOutOfMemory();
}

void __throw_bad_array_new_length() {
  EndRunOutOfMemory();
}

void __throw_bad_function_call() {
  EndRunOutOfMemory();
}

void __throw_length_error(const char* /*what*/) {
  EndRunOutOfMemory();
}

void __throw_logic_error(const char* /*what*/) {
  EndRunOutOfMemory();
}

void __throw_out_of_range(const char* /*what*/) {
  EndRunOutOfMemory();
}

void __throw_out_of_range_fmt(const char* /*format*/, ...) {
  EndRunOutOfMemory();
}

}  // namespace std

extern "C" {

void* memcpy(void* to, const void* from, std::size_t size) {
  auto* out = static_cast<unsigned char*>(to);
  const auto* in = static_cast<const unsigned char*>(from);
  while (size-- != 0) *out++ = *in++;
  return to;
}

void* memmove(void* to, const void* from, std::size_t size) {
  auto* out = static_cast<unsigned char*>(to);
  const auto* in = static_cast<const unsigned char*>(from);
  if (out <= in) return memcpy(to, from, size);
  while (size-- != 0) out[size] = in[size];
  return to;
}

void* memset(void* to, int value, std::size_t size) {
  auto* out = static_cast<unsigned char*>(to);
  while (size-- != 0) *out++ = static_cast<unsigned char>(value);
  return to;
}

int memcmp(const void* left, const void* right, std::size_t size) {
  const auto* a = static_cast<const unsigned char*>(left);
  const auto* b = static_cast<const unsigned char*>(right);
  for (; size != 0; --size, ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
  }
  return 0;
}

void* memchr(const void* bytes, int value, std::size_t size) {
  const auto* byte = static_cast<const unsigned char*>(bytes);
  for (; size != 0; --size, ++byte) {
    if (*byte == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(byte);
  }
  return nullptr;
}

std::size_t strlen(const char* text) {
  std::size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

char* strstr(const char* text, const char* part) {
  const std::size_t part_length = strlen(part);
  for (; *text != '\0' || part_length == 0; ++text) {
    if (memcmp(text, part, part_length) == 0) return const_cast<char*>(text);
  }
  return nullptr;
}

}  // extern "C"
