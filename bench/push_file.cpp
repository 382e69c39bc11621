#include "push_file.h"

#include <cstdint>

#include "engine/acl_protocol.h"
#include "engine/flash_burn.h"
#include "engine/image_checksum.h"
#include "image_builder.h"

bool MakeBurnBenchFiles(size_t bytes, BurnBenchFiles* files, std::string* error) {
  fwimage::ImageLayout layout;
  const size_t fixed = 4 + fwimage::Trailer(layout).size();
  if (bytes <= fixed || bytes - fixed > UINT32_MAX) {
    *error = "no image of " + std::to_string(bytes) + " bytes";
    return false;
  }
  layout.bodySize = static_cast<uint32_t>(bytes - fixed);
  if (!fwimage::BuildImage(layout, &files->image, error)) return false;

  // File type 2: flash target 3.
  AclCommand command;
  command.Set(ACLCMD_BURN_FLASH, FLASH_TARGET_TYPE2,
              ImageChecksum(reinterpret_cast<const uint8_t*>(files->image.data()), files->image.size()),
              static_cast<uint32_t>(files->image.size()));
  files->push.assign(PJL_UEL, PJL_UEL_LENGTH);
  files->push.append(PJL_ENTERLANG, PJL_ENTERLANG_LENGTH);
  files->push.append(reinterpret_cast<const char*>(command.bytes), ACL_RECORD_SIZE);
  files->push += files->image;
  return true;
}
