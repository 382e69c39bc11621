#include "burn_files.h"

#include <cstdint>

#include "engine/acl_protocol.h"
#include "engine/flash_burn.h"
#include "engine/image_checksum.h"
#include "image_builder.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"

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

bool LoadAsTheBurnDoes(const wchar_t* path, uint8_t* reused, uint16_t* checksum) {
  platform::UniqueFile file(
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD high = 0;
  DWORD size = GetFileSize(file.get(), &high);
  platform::UniqueLocalMemory memory(reused ? nullptr : LocalAlloc(LMEM_FIXED, size));
  auto* buffer = static_cast<uint8_t*>(reused ? reused : memory.get());
  DWORD done = 0;
  if (!file || !buffer || !ReadFile(file.get(), buffer, size, &done, nullptr) || done != size) return false;
  if (checksum) *checksum = ImageChecksum(buffer, size);
  return true;
}
