#include "image_builder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>

namespace fwimage {
namespace {

// The body: a linear congruential sequence, the same for the same seed on every machine.
std::string Body(uint32_t size, uint32_t seed) {
  std::string body(size, '\0');
  uint32_t state = seed * 2654435761u + 1u;
  for (uint32_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    body[i] = static_cast<char>(state >> 24);
  }
  return body;
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* value) {
  if (text.empty() || text[0] == '-') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long parsed = std::strtoul(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || parsed > max) return false;
  *value = parsed;
  return true;
}

bool ParseHexBytes(const std::string& text, std::string* bytes) {
  if (text.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned long byte;
    if (!std::isxdigit(static_cast<unsigned char>(text[i])) || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
        !ParseNumber("0x" + text.substr(i, 2), 0xFF, &byte)) {
      return false;
    }
    bytes->push_back(static_cast<char>(byte));
  }
  return true;
}

int FileTypeOf(uint32_t typeId) { return typeId == kTypeId2 ? 2 : 1; }

void Summarise(std::ostream& out, const std::string& path, const ImageLayout& layout, const std::string& image) {
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "0x%04X", Checksum16(image));
  out << path << ": " << image.size() << " bytes, file type " << FileTypeOf(layout.typeId) << ", version \""
      << layout.version << "\", trailer " << static_cast<unsigned>(static_cast<uint8_t>(image.back()))
      << " bytes, checksum " << checksum << "\n";
}

const char kUsage[] =
    "usage: fwimage [options] OUTPUT        write one firmware image\n"
    "       fwimage --standard DIR [--version TEXT]\n"
    "                                       write TVQ5530An.bin, TVQ5530A.bin, TVQ5530.bin and\n"
    "                                       TVQ5530n.bin into DIR\n"
    "options:\n"
    "  --type 1|2          type identifier of that file type (default 2: AA 55 41 54)\n"
    "  --type-id NUMBER    any identifier, a 32-bit number written little-endian\n"
    "  --body-size NUMBER  body bytes after the identifier (default 4096)\n"
    "  --seed NUMBER       seed of the reproducible body content (default 1)\n"
    "  --label TEXT        trailer label (default FWIMG)\n"
    "  --no-label-zero     leave out the zero byte that ends the label\n"
    "  --version TEXT      version text after the label (default 215)\n"
    "  --extra HEX         bytes after the version, as hex pairs (default 00; \"\" for none)\n"
    "  --length-byte N     write N (0..255) as the last byte instead of the trailer length\n";

}  // namespace

std::string Trailer(const ImageLayout& layout) {
  std::string trailer = layout.label;
  if (layout.labelZero) trailer.push_back('\0');
  trailer += layout.version;
  trailer += layout.extra;
  size_t length = trailer.size() + 1;
  trailer.push_back(static_cast<char>(layout.lengthByte >= 0 ? layout.lengthByte : static_cast<int>(length & 0xFF)));
  return trailer;
}

bool BuildImage(const ImageLayout& layout, std::string* image, std::string* error) {
  std::string trailer = Trailer(layout);
  if (layout.lengthByte > 255) {
    *error = "length byte " + std::to_string(layout.lengthByte) + " is not a byte value";
    return false;
  }
  if (layout.lengthByte < 0 && trailer.size() > 127) {
    *error = "trailer of " + std::to_string(trailer.size()) + " bytes is longer than its length byte can say (127)";
    return false;
  }
  std::string bytes;
  bytes.reserve(4 + layout.bodySize + trailer.size());
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>((layout.typeId >> shift) & 0xFF));
  bytes += Body(layout.bodySize, layout.seed);
  bytes += trailer;
  *image = std::move(bytes);
  return true;
}

uint16_t Checksum16(const std::string& bytes) {
  // The sum wraps as a 32-bit two's complement number; it is kept unsigned so that the
  // wrapping is defined, and shifted right with the sign propagated by hand.
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    sum += static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 8 | static_cast<uint8_t>(bytes[i + 1]);
  }
  if (i < bytes.size()) sum += static_cast<uint8_t>(bytes[i]);
  auto arithmeticShift16 = [](uint32_t value) { return (value >> 16) | ((value & 0x80000000u) ? 0xFFFF0000u : 0u); };
  while (arithmeticShift16(sum) != 0) sum = (sum & 0xFFFFu) + arithmeticShift16(sum);
  return static_cast<uint16_t>(~sum & 0xFFFFu);
}

std::vector<StandardImage> StandardImages(const std::string& version) {
  // Network models carry file type 2, base models file type 1, so both flash targets are used.
  struct Row {
    const char* name;
    uint32_t typeId;
    uint32_t bodySize;
  };
  const Row rows[] = {
      {"TVQ5530An", kTypeId2, 49153},
      {"TVQ5530A", kTypeId1, 40960},
      {"TVQ5530", kTypeId1, 40961},
      {"TVQ5530n", kTypeId2, 49152},
  };
  std::vector<StandardImage> images;
  uint32_t seed = 1;
  for (const Row& row : rows) {
    ImageLayout layout;
    layout.typeId = row.typeId;
    layout.bodySize = row.bodySize;
    layout.seed = seed++;
    layout.label = row.name;
    layout.version = version;
    images.push_back(StandardImage{std::string(row.name) + ".bin", layout});
  }
  return images;
}

bool WriteImageFile(const std::string& path, const std::string& bytes, std::string* error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (file) file.close();
  if (!file) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ImageLayout layout;
  std::string output;
  std::string standardDir;
  bool standard = false;
  bool versionGiven = false;
  auto usage = [&](const std::string& problem) {
    err << "fwimage: " << problem << "\n" << kUsage;
    return 2;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      out << kUsage;
      return 0;
    }
    if (arg == "--no-label-zero") {
      layout.labelZero = false;
      continue;
    }
    if (arg.rfind("--", 0) != 0) {
      if (!output.empty()) return usage("more than one output file");
      output = arg;
      continue;
    }
    static const char* const kValueOptions[] = {"--standard", "--type",  "--type-id",     "--body-size", "--seed",
                                                "--label",    "--version", "--extra", "--length-byte"};
    if (std::find(std::begin(kValueOptions), std::end(kValueOptions), arg) == std::end(kValueOptions)) {
      return usage("unknown option " + arg);
    }
    if (i + 1 >= args.size()) return usage(arg + " needs a value");
    const std::string& value = args[++i];
    unsigned long number = 0;
    if (arg == "--standard") {
      standard = true;
      standardDir = value;
    } else if (arg == "--type") {
      if (value != "1" && value != "2") return usage("--type takes 1 or 2");
      layout.typeId = value == "2" ? kTypeId2 : kTypeId1;
    } else if (arg == "--type-id") {
      if (!ParseNumber(value, 0xFFFFFFFFul, &number)) return usage("--type-id takes a 32-bit number");
      layout.typeId = static_cast<uint32_t>(number);
    } else if (arg == "--body-size") {
      if (!ParseNumber(value, 0x7FFFFFFFul, &number)) return usage("--body-size takes a byte count");
      layout.bodySize = static_cast<uint32_t>(number);
    } else if (arg == "--seed") {
      if (!ParseNumber(value, 0xFFFFFFFFul, &number)) return usage("--seed takes a 32-bit number");
      layout.seed = static_cast<uint32_t>(number);
    } else if (arg == "--label") {
      layout.label = value;
    } else if (arg == "--version") {
      layout.version = value;
      versionGiven = true;
    } else if (arg == "--extra") {
      if (!ParseHexBytes(value, &layout.extra)) return usage("--extra takes hex pairs, like 00ff");
    } else if (arg == "--length-byte") {
      if (!ParseNumber(value, 255, &number)) return usage("--length-byte takes 0..255");
      layout.lengthByte = static_cast<int>(number);
    }
  }

  std::string error;
  if (standard) {
    if (!output.empty()) return usage("--standard writes into its folder; no output file");
    std::error_code created;
    std::filesystem::create_directories(standardDir, created);
    if (created) {
      err << "fwimage: cannot create " << standardDir << ": " << created.message() << "\n";
      return 1;
    }
    for (const StandardImage& image : StandardImages(versionGiven ? layout.version : "216")) {
      std::string bytes;
      std::string path = standardDir + "/" + image.fileName;
      if (!BuildImage(image.layout, &bytes, &error) || !WriteImageFile(path, bytes, &error)) {
        err << "fwimage: " << error << "\n";
        return 1;
      }
      Summarise(out, path, image.layout, bytes);
    }
    return 0;
  }
  if (output.empty()) return usage("no output file");
  std::string bytes;
  if (!BuildImage(layout, &bytes, &error) || !WriteImageFile(output, bytes, &error)) {
    err << "fwimage: " << error << "\n";
    return 1;
  }
  Summarise(out, output, layout, bytes);
  return 0;
}

}  // namespace fwimage
