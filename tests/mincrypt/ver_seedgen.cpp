// Writes small signed catalogs to the directory given as argument: seeds for
// the verification fuzzers (fuzz/corpus/verify_*). Chains use 512-bit keys
// under the test anchor, so that a fuzzer spends its time on parsing and
// checking rather than on big-number arithmetic.
#include <cstdio>
#include <string>

#include "mincrypt/rootlevel.h"
#include "mincrypt/vercat.h"
#include "tests/mincrypt/ver_fixture.h"

using namespace verfix;

namespace {

// Writes a seed and says whether it verifies as a catalog: a seed that no
// longer does (say, after the anchors changed) still feeds the parsers, but
// the fuzzer then never reaches the code behind the signature checks.
void Write(const std::string& dir, const char* name, const Bytes& bytes) {
  MapCatInfo info = {};
  info.EncodedBlob = Blob(bytes);
  std::printf("%s: %s\n", name, MinCryptVerifyCatalog(&info, TRUE) == 0 ? "verifies" : "does not verify");
  const std::string path = dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    return;
  }
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const std::vector<Bytes> members = {
      Member("image", {OtherAttribute(1), MemberHashAttribute(Bytes(20, 0x11))}),
      Member("other", {MemberHashAttribute(Bytes(20, 0x22))}),
  };
  const std::vector<Bytes> exts = {
      NameValueExtension(u"Manufacturer", Utf16LeWithTerminator(u"Corv")),
      NameValueExtension(u"Model", Utf16LeWithTerminator(u"ZR")),
  };
  const Bytes ctl = MakeCtl(members, exts);
  Chain sha1 = StandardChain(ROOT_LEVEL_TEST, EVP_sha1(), 512);
  Write(dir, "test-sha1.cat", MakeSignedData(SignedDataFor(sha1, ctl)));
  SignedDataSpec noAttrs = SignedDataFor(sha1, ctl);
  noAttrs.authAttrs = false;
  noAttrs.unauthAttrs = true;
  Write(dir, "test-noattrs.cat", MakeSignedData(noAttrs));
  Chain md5 = StandardChain(ROOT_LEVEL_TEST, EVP_md5(), 512);
  SignedDataSpec md5Spec = SignedDataFor(md5, ctl);
  md5Spec.hashAlg = EVP_md5();
  Write(dir, "test-md5.cat", MakeSignedData(md5Spec));
  Write(dir, "trustlist.ctl", ctl);
  return 0;
}
