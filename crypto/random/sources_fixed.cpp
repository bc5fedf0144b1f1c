#include <cstring>

#include "crypto/random/random_testing.h"

namespace {

BOOL NoSeed(BYTE*) { return FALSE; }
void DropSeed(const BYTE*) {}
DWORD Fixed32() { return 0x7e55f01du; }
void Fill16(BYTE rgb[16]) { std::memset(rgb, 0x16, 16); }
void Fill8(BYTE rgb[8]) { std::memset(rgb, 0x08, 8); }
void Fill32(BYTE rgb[32]) { std::memset(rgb, 0x32, 32); }
BOOL Disk(BYTE rgb[16]) {
  std::memset(rgb, 0xd1, 16);
  return TRUE;
}
DWORD Computer(BYTE rgb[16]) {
  std::memcpy(rgb, "FIXED", 5);
  return 5;
}
DWORD User(BYTE rgb[257]) {
  std::memcpy(rgb, "tester", 6);
  return 6;
}

const RandomSources kFixed = {
    NoSeed, DropSeed, nullptr,  Fixed32, Fixed32, Fixed32, Fill16,  Fill8,
    Fill32, Disk,     Computer, User,    nullptr, nullptr, nullptr,
};

}  // namespace

const RandomSources* RandomTestFixedSources() { return &kFixed; }
