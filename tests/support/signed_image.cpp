#include "tests/support/signed_image.h"

#include <map>

#include "authoring/image_stamp.h"
#include "image/accept.h"
#include "image/binutils.h"
#include "platform/text.h"
#include "tests/support/dev_keys.h"

namespace signedimage {

const catalog::Signer& DevSigner(const std::string& chain) {
  static std::map<std::string, catalog::Signer> signers;
  auto it = signers.find(chain);
  if (it == signers.end()) {
    using devkeys::DevKeyPath;
    it = signers
             .emplace(chain, catalog::LoadSigner(DevKeyPath(chain + "-signer.key"), DevKeyPath(chain + "-signer.pem"),
                                                 {DevKeyPath(chain + "-ca.pem")}))
             .first;
  }
  return it->second;
}

bool StampOpenImage(const std::vector<uint8_t>& file, const catalog::Signer& signer, const Device& device,
                    std::vector<uint8_t>* stamped, std::string* error) {
  catalog::Bytes digest(kImageDigestSize);
  if (!ComputeImageDigest(digest.data())) {
    *error = "the image's signed parts cannot be read";
    return false;
  }
  catalog::Bytes signedCatalog;
  try {
    signedCatalog = catalog::MakeSignedImageCatalog(
        {.imageSha1 = digest,
         .attributes = {{u"Manufacturer", std::u16string(device.make)}, {u"Model", std::u16string(device.model)}}},
        signer);
  } catch (const catalog::BuildError& e) {
    *error = e.what();
    return false;
  }
  imagestamp::StampResult result;
  if (!imagestamp::StampCatalog(file, signedCatalog, &result, error)) return false;
  *stamped = std::move(result.bytes);
  return true;
}

bool WriteSignedImage(const imagebuilder::RomImage& layout, const catalog::Signer& signer, const Device& device,
                      const std::string& path, std::string* error) {
  const imagebuilder::BuiltImage built = imagebuilder::Build(layout);
  if (!imagebuilder::SaveFile(path, built.bytes)) {
    *error = "cannot write '" + path + "'";
    return false;
  }
  if (!OpenImage(WidenUtf8(path).c_str())) {
    *error = "'" + path + "' does not open as an image";
    return false;
  }
  std::vector<uint8_t> stamped;
  const bool ok = StampOpenImage(built.bytes, signer, device, &stamped, error);
  CloseImage();  // Windows does not let an open file be rewritten
  if (!ok) return false;
  if (!imagebuilder::SaveFile(path, stamped)) {
    *error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

}  // namespace signedimage
