// The generator over this platform's own sources: natively the registry
// stand-in and getrandom, on Windows (and under Wine) the real calls and the
// real registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crypto/random/random.h"
#include "crypto/random/random_state.h"
#include "platform/registry.h"
#ifdef _WIN32
#include "crypto/random/sources_win_testing.h"
#endif
#include "tests/crypto/random_test_util.h"

namespace {

// The platform's table, with the kernel source wrapped so a test can tell
// whether it answered (it may be missing, or fail, on a given system).
RandomSources g_platform;
int g_kernelAnswers = 0;

BOOL CountingKernel(const BYTE* pbIn, DWORD cbIn, BYTE* pbOut, DWORD cbOut, DWORD* pcbOut) {
  BOOL fOk = g_platform.pfnKernel(pbIn, cbIn, pbOut, cbOut, pcbOut);
  if (fOk && *pcbOut != 0) ++g_kernelAnswers;
  return fOk;
}

void UsePlatformSources(bool fKernel) {
  RandomProbePlatform(&g_platform);
  RandomSources table = g_platform;
  table.pfnKernel = fKernel && g_platform.pfnKernel != nullptr ? CountingKernel : nullptr;
  g_kernelAnswers = 0;
  RandomTestUseSources(&table);
  RandomTestReset();
}

std::vector<BYTE> Unmask(std::vector<BYTE> value, const std::vector<BYTE>& oldSeed) {
  std::vector<BYTE> mask = Keystream(oldSeed, RANDOM_SEED_LEN);
  for (size_t i = 0; i < value.size() && i < mask.size(); ++i) value[i] ^= mask[i];
  return value;
}

std::vector<BYTE> StateSeed() {
  return std::vector<BYTE>(RandomStateForTests()->rgbSeed, RandomStateForTests()->rgbSeed + SEED_LEN);
}

class RandomPlatform : public ::testing::Test {
 protected:
  void TearDown() override {
    RandomTestUseSources(nullptr);
    RandomTestReset();
  }
};

#ifndef _WIN32

// A registry folder of the test's own, named through the environment.
class RandomPlatformRegistry : public RandomPlatform {
 protected:
  void SetUp() override {
    std::string templ = (std::filesystem::temp_directory_path() / "tf-registry-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root_ = templ;
    setenv(TF_REGISTRY_ENV, root_.c_str(), 1);
  }
  void TearDown() override {
    RandomPlatform::TearDown();
    unsetenv(TF_REGISTRY_ENV);
    std::filesystem::remove_all(root_);
  }

  std::filesystem::path SeedFile() const { return root_ / "HKLM/SOFTWARE/Microsoft/Cryptography/RNG/Seed"; }

  std::vector<BYTE> ReadFile(const std::filesystem::path& p) const {
    std::ifstream in(p, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
  }

  void WriteFile(const std::filesystem::path& p, const std::vector<BYTE>& bytes) const {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  std::filesystem::path root_;
};

// Without the kernel source every gathering writes the value; a value of 80
// bytes is read as the seed, one of another size is left alone.
TEST_F(RandomPlatformRegistry, SeedValueIsReadAndWritten) {
  const struct {
    const char* what;
    std::vector<BYTE> before;  // empty: no value
    bool fTaken;
  } cases[] = {
      {"no value", {}, false},
      {"80 bytes", Pattern(80, 3, 1), true},
      {"40 bytes", Pattern(40, 3, 1), false},
      {"81 bytes", Pattern(81, 3, 1), false},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(root_ / "HKLM");
    if (!c.before.empty()) WriteFile(SeedFile(), c.before);
    UsePlatformSources(false);
    BYTE out[4] = {};
    ASSERT_TRUE(randomBytes(out, 0)) << c.what;  // starts up, gathers nothing
    const std::vector<BYTE> oldSeed = c.fTaken ? c.before : std::vector<BYTE>(RANDOM_SEED_LEN, 0);
    EXPECT_EQ(Hex(StateSeed()), Hex(oldSeed)) << c.what;
    ASSERT_TRUE(randomBytes(out, sizeof out)) << c.what;
    const std::vector<BYTE> value = ReadFile(SeedFile());
    ASSERT_EQ(value.size(), RANDOM_SEED_LEN) << c.what;
    EXPECT_EQ(Hex(Unmask(value, oldSeed)), Hex(StateSeed())) << c.what;
  }
}

TEST_F(RandomPlatformRegistry, KernelSourceLeavesTheRegistryAlone) {
  UsePlatformSources(true);
  ASSERT_NE(g_platform.pfnKernel, nullptr);
  BYTE out[32] = {};
  ASSERT_TRUE(randomBytes(out, sizeof out));
  EXPECT_EQ(g_kernelAnswers, 1);
  EXPECT_FALSE(std::filesystem::exists(SeedFile()));
  EXPECT_NE(Hex(out, sizeof out), std::string(64, '0'));
}

// Names that would leave the registry folder are refused, and without the
// variable there is no registry at all.
TEST_F(RandomPlatformRegistry, StandInRefusesNamesOutsideItsFolder) {
  HKEY hKey = nullptr;
  for (const char* key : {"..\\escape", "SOFTWARE\\..\\..\\escape", "a/b", "."}) {
    EXPECT_NE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr),
              ERROR_SUCCESS)
        << key;
  }
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "K", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr),
            ERROR_SUCCESS);
  const BYTE b = 1;
  for (const char* value : {"..", "../../escape", ""}) {
    EXPECT_NE(RegSetValueExA(hKey, value, 0, REG_BINARY, &b, 1), ERROR_SUCCESS) << value;
  }
  RegCloseKey(hKey);
  EXPECT_FALSE(std::filesystem::exists(root_.parent_path() / "escape"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "escape"));

  unsetenv(TF_REGISTRY_ENV);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "K", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr),
            ERROR_FILE_NOT_FOUND);
}

#else  // _WIN32

const char kSeedKey[] = "SOFTWARE\\Microsoft\\Cryptography\\RNG";

bool ReadRegistrySeed(std::vector<BYTE>* pValue) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSeedKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS) return false;
  pValue->assign(RANDOM_SEED_LEN + 8, 0);
  DWORD dwType = 0;
  DWORD cb = static_cast<DWORD>(pValue->size());
  LONG status = RegQueryValueExA(hKey, "Seed", nullptr, &dwType, pValue->data(), &cb);
  RegCloseKey(hKey);
  pValue->resize(cb);
  return status == ERROR_SUCCESS && dwType == REG_BINARY;
}

// The real sources: the probe finds the system query (and with it the
// larger re-key limit), and a gathering that the kernel source did not
// answer leaves the masked seed in the registry.
TEST_F(RandomPlatform, RealSourcesAndRegistry) {
  UsePlatformSources(true);
  BYTE out[600] = {};
  ASSERT_TRUE(randomBytes(out, 4));
  EXPECT_EQ(RandomStateForTests()->dwLimit, g_platform.pfnSystemQuery != nullptr ? 16384u : 512u);
  ASSERT_TRUE(randomBytes(out, sizeof out));
  EXPECT_NE(Hex(out, sizeof out), std::string(1200, '0'));
  std::printf("kernel source %s, system query %s\n", g_kernelAnswers ? "answered" : "did not answer",
              g_platform.pfnSystemQuery != nullptr ? "found" : "missing");

  // Without the kernel source: the seed as read from the registry, renewed
  // and written back masked with the old seed's keystream.
  UsePlatformSources(false);
  ASSERT_TRUE(randomBytes(out, 0));
  const std::vector<BYTE> oldSeed = StateSeed();
  ASSERT_TRUE(randomBytes(out, 4));
  std::vector<BYTE> value;
  HKEY hKey = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSeedKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr) !=
      ERROR_SUCCESS) {
    GTEST_SKIP() << "the registry key is not writable for this user";
  }
  RegCloseKey(hKey);
  ASSERT_TRUE(ReadRegistrySeed(&value));
  ASSERT_EQ(value.size(), RANDOM_SEED_LEN);
  EXPECT_EQ(Hex(Unmask(value, oldSeed)), Hex(StateSeed()));
}

// What the kernel source asks the kernel security driver, seen through
// stand-ins for its four calls.
struct KernelRequest {
  ACCESS_MASK access = 0;
  ULONG attributesLength = 0, attributeFlags = 0, share = 0, options = 0;
  HANDLE rootDirectory = nullptr;
  std::wstring name;
  DWORD ioControl = 0, outputOffered = 0;
  std::vector<BYTE> input;
  HANDLE handle = nullptr, closed = nullptr;
} g_request;

LONG NTAPI RecordOpen(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK, ULONG share,
                      ULONG options) {
  g_request.access = access;
  g_request.attributesLength = attributes->Length;
  g_request.attributeFlags = attributes->Attributes;
  g_request.rootDirectory = attributes->RootDirectory;
  g_request.name.assign(attributes->ObjectName->Buffer, attributes->ObjectName->Length / sizeof(WCHAR));
  g_request.share = share;
  g_request.options = options;
  *handle = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x4D2));
  return 0;
}

VOID NTAPI RecordInitString(PUNICODE_STRING string, PCWSTR text) {
  string->Buffer = const_cast<PWSTR>(text);
  string->Length = static_cast<USHORT>(wcslen(text) * sizeof(WCHAR));
  string->MaximumLength = static_cast<USHORT>(string->Length + sizeof(WCHAR));
}

BOOL WINAPI RecordIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD cbIn, LPVOID out, DWORD cbOut, LPDWORD returned,
                            LPOVERLAPPED) {
  g_request.handle = handle;
  g_request.ioControl = code;
  g_request.input.assign(static_cast<BYTE*>(in), static_cast<BYTE*>(in) + cbIn);
  g_request.outputOffered = cbOut;
  std::memset(out, 0xAB, cbOut);
  *returned = cbOut;
  return TRUE;
}

BOOL WINAPI RecordClose(HANDLE handle) {
  g_request.closed = handle;
  return TRUE;
}

TEST(RandomKernelSource, AsksTheSecurityDriverWithThePool) {
  const KernelSourceCalls calls = {RecordOpen, RecordInitString, RecordIoControl, RecordClose};
  RandomUseKernelCallsForTests(&calls);
  RandomSources sources;
  RandomProbePlatform(&sources);
  RandomUseKernelCallsForTests(nullptr);
  ASSERT_NE(sources.pfnKernel, nullptr);
  const std::vector<BYTE> pool = Pattern(RANDOM_POOL_LEN, 5, 1);
  BYTE out[RANDOM_POOL_LEN] = {};
  DWORD cb = 0;
  ASSERT_TRUE(sources.pfnKernel(pool.data(), RANDOM_POOL_LEN, out, sizeof out, &cb));
  EXPECT_EQ(cb, sizeof out);
  EXPECT_EQ(out[0], 0xAB);

  EXPECT_EQ(g_request.name, L"\\Device\\KsecDD");
  EXPECT_EQ(g_request.access, 0x100001u);
  EXPECT_EQ(g_request.attributesLength, sizeof(OBJECT_ATTRIBUTES));
#if defined(__i386__)
  EXPECT_EQ(g_request.attributesLength, 24u);
#endif
  EXPECT_EQ(g_request.attributeFlags, 0x40u);
  EXPECT_EQ(g_request.rootDirectory, nullptr);
  EXPECT_EQ(g_request.share, 7u);
  EXPECT_EQ(g_request.options, 16u);
  EXPECT_EQ(g_request.ioControl, 0x390008u);
  EXPECT_EQ(Hex(g_request.input), Hex(pool));
  EXPECT_EQ(g_request.outputOffered, sizeof out);
  EXPECT_EQ(g_request.handle, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x4D2)));
  EXPECT_EQ(g_request.closed, g_request.handle);
}

#endif  // _WIN32

}  // namespace
