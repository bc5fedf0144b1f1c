// The one recipe for a ROM image signed through a development chain, as the
// image tool's `sign` makes it: lay the image out, take its digest through the
// image reader, sign a catalog naming the digest, make and model, and stamp it
// into the image's cat_sig placeholder (or a new extension record).
//
// Library tf_signed_image (native, needs libcrypto); the image reader is used
// on the file and closed again, and its diagnostic lines go to whatever sink
// is installed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/catalog_builder.h"
#include "authoring/image_builder.h"

namespace signedimage {

// The signer of a development chain ("test", "odm" or "product"): the
// chain's signer key and certificate and its CA certificate from keys/dev,
// loaded once per process.
const catalog::Signer& DevSigner(const std::string& chain);

// The player a catalog names.
struct Device {
  std::u16string_view make = u"Corvane";
  std::u16string_view model = u"ZR-410";
};

// Signs the image that is open (its bytes are `file`) and returns the file
// with the catalog stamped in. False with *error.
bool StampOpenImage(const std::vector<uint8_t>& file, const catalog::Signer& signer, const Device& device,
                    std::vector<uint8_t>* stamped, std::string* error);

// The whole recipe: `layout` built, written to `path`, signed and written
// there again. False with *error (the file may then hold the unsigned image).
bool WriteSignedImage(const imagebuilder::RomImage& layout, const catalog::Signer& signer, const Device& device,
                      const std::string& path, std::string* error);

}  // namespace signedimage
