// Writing a signed catalog into a ROM image file without touching any byte
// that the image digest covers: either into the image's cat_sig placeholder,
// or as a new extension record (record header, 44-byte extension record and
// the catalog) linked at the end of the extension chain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagestamp {

struct StampResult {
  std::vector<uint8_t> bytes;     // the stamped file
  bool fPlaceholder = false;      // written into an existing cat_sig
  uint32_t dwCatalogAddress = 0;  // virtual address of the catalog
};

// `file` must be the bytes of the image that is open (image/binutils.h): the
// layout (records, ROM offset, extension chain) is taken from the reader.
//
// With a cat_sig extension present, the catalog goes into its data (which
// must be at least as long and lie in one record); the rest of the
// placeholder is zeroed and the extension's length becomes the catalog's.
// Without one, a record is added before the end record, above every existing
// record address, and the last record of the chain is linked to it; this
// needs a chain (the ROM header's extension word is digested, so a chain
// cannot be started here) and room in the record table.
//
// Record checksums of changed records are brought up to date when they held
// the byte sum before. False with a one-line reason otherwise.
bool StampCatalog(const std::vector<uint8_t>& file, const std::vector<uint8_t>& catalog, StampResult* result,
                  std::string* error);

}  // namespace imagestamp
