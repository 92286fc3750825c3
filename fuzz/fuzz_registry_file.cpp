// Reads arbitrary bytes as a registry file. Whatever is accepted must write out
// and read back to the very same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/registry/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gt::reg::RegTree tree;
  std::string error;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (!gt::reg::ParseRegistryFile(bytes, tree, error)) return 0;
  std::string text = gt::reg::FormatRegistryFile(tree);
  if (text.size() > gt::reg::kMaxFileSize) return 0;  // pretty-printing can outgrow the limit
  gt::reg::RegTree again;
  if (!gt::reg::ParseRegistryFile(text, again, error)) std::abort();
  if (gt::reg::FormatRegistryFile(again) != text) std::abort();
  return 0;
}
